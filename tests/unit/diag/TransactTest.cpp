// The checks every response goes through, and the port rules, seen through
// CLOSE, the simplest transaction.
#include "CommandTest.h"

#include "diag/EFSClose.h"
#include "diag/EFSRead.h"

#include <optional>

using namespace DiagTest;

namespace {

const Bytes kCloseRequest = Packet(3).u32(7);

Packet errorResponse(std::uint8_t subsystem, std::uint32_t deviceError)
{
    return Packet(28, subsystem).u32(deviceError);
}

} // namespace

using TransactTest = CommandTest;

TEST_F(TransactTest, RefusesMalformedResponsesAndReportsDeviceErrors)
{
    const Bytes close = Packet(3).u32(0);
    const struct {
        const char* what;
        Bytes response;
        std::optional<std::uint16_t> reportedLength;
        std::uint32_t code;
        std::uint32_t line;
    } cases[] = {
        {"3 bytes", Bytes(close.begin(), close.begin() + 3), std::nullopt, 514, 89},
        {"nothing", {}, std::nullopt, 514, 89},
        {"error response, subsystem 19", errorResponse(19, 2), std::nullopt, 3, 100},
        {"error response, subsystem 62", errorResponse(62, 2), std::nullopt, 3, 100},
        {"error response, subsystem 20", errorResponse(20, 2), std::nullopt, 525, 104},
        {"error response without error number", errorResponse(19, 0), std::nullopt, 525, 104},
        {"error response 7 bytes", errorResponse(19, 2), 7, 525, 104},
        {"error response, 0xFFFFFFFF", errorResponse(19, 0xFFFFFFFF), std::nullopt, 0, 100},
        {"another command, 4 bytes", Packet(4), std::nullopt, 525, 104},
        {"another subsystem, 7 bytes", Packet(3, 62).zeros(3), std::nullopt, 525, 104},
        {"7 bytes", Bytes(close.begin(), close.begin() + 7), std::nullopt, 514, 111},
        {"9 bytes", Packet(3).u32(0).u8(0), std::nullopt, 514, 111},
        {"longer than the buffer", close, 600, 514, 111},
        // Device error numbers become codes one higher, at most 513; the
        // sum wraps in 32 bits.
        {"errno 2", Packet(3).u32(2), std::nullopt, 3, 116},
        {"errno 511", Packet(3).u32(511), std::nullopt, 512, 116},
        {"errno 512", Packet(3).u32(512), std::nullopt, 513, 116},
        {"errno 600", Packet(3).u32(600), std::nullopt, 513, 116},
        {"errno 0xFFFFFFFF", Packet(3).u32(0xFFFFFFFF), std::nullopt, 0, 116},
    };
    auto close7 = command<CEFSClose>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port().expect(kCloseRequest, c.response, c.reportedLength);
        expectFailure([&] { close7.Execute(7); },
                      {c.code, "EFS2_DIAG_CLOSE", kTransactFile, c.line});
        EXPECT_EQ(port().lastCapacity(), 8u);
    }
    // After all that the same transaction object still works.
    port().expect(kCloseRequest, close);
    close7.Execute(7);
}

TEST_F(TransactTest, ErrorResponsesAreKnownWhateverSubsystemTheRequestUsed)
{
    CEFSClose close(port().unknown(), kTimeout, 62);
    port().expect(Packet(3, 62).u32(7), errorResponse(19, 21));
    expectFailure([&] { close.Execute(7); }, {22, "EFS2_DIAG_CLOSE", kTransactFile, 100});
}

TEST_F(TransactTest, PortFailuresBecomeCodes533And534)
{
    auto close = command<CEFSClose>();
    port().expectFailure(kCloseRequest, E_FAIL);
    expectFailure([&] { close.Execute(7); }, {533, "EFS2_DIAG_CLOSE", kTransactFile, 77});
    port().expectThrow(kCloseRequest);
    expectFailure([&] { close.Execute(7); }, {534, "EFS2_DIAG_CLOSE", kTransactFile, 81});

    // Without a port, or with one that is no IDiagPort, every send fails.
    CEFSClose none(nullptr, kTimeout, kSubsystem);
    expectFailure([&] { none.Execute(7); }, {533, "EFS2_DIAG_CLOSE", kTransactFile, 77});
    port().refuseDiagPort(E_NOINTERFACE);
    auto refused = command<CEFSClose>();
    expectFailure([&] { refused.Execute(7); }, {533, "EFS2_DIAG_CLOSE", kTransactFile, 77});
    EXPECT_EQ(port().calls(), 2u);
}

TEST_F(TransactTest, OtherQueryFailuresThrowFromTheConstructor)
{
    port().refuseDiagPort(E_OUTOFMEMORY);
    try {
        auto close = command<CEFSClose>();
        ADD_FAILURE() << "constructed";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_OUTOFMEMORY);
    }
}

TEST_F(TransactTest, OneTransactionHoldsOnePortReferenceForManyPackets)
{
    {
        auto read = command<CEFSRead>();
        EXPECT_EQ(port().references(), 2u);
        std::uint8_t data[2] = {};
        for (std::uint32_t offset = 0; offset < 3; ++offset) {
            port().expect(Packet(4).u32(5).u32(2).u32(offset),
                          Packet(4).u32(5).u32(offset).u32(2).u32(0).u16(0x4241));
            EXPECT_EQ(read.Execute(data, 5, 2, offset), 2u);
        }
        auto copy = read;
        EXPECT_EQ(port().references(), 3u);
    }
    EXPECT_EQ(port().references(), 1u);
}
