// The serial port against the emulated handset on a pseudo-terminal: every
// byte crosses the line in HDLC frames both ways. Whole files of every size
// around the packet's make the same journey in vornak-efs's tests (ServedHandset).
#if !defined(_WIN32)

#include "transport/PtyHandsetServer.h"

#include "diag/EFSLStat.h"
#include "transport/SerialPort.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kTimeout = 2000;
constexpr std::uint8_t kSubsystem = Diag::Efs2::kFileSubsystem;

class PtyHandsetServerTest : public ::testing::Test {
protected:
    PtyHandsetServerTest()
        : handset(std::make_shared<Emulator::Handset>())
        , server(handset)
    {
        server.start();
        port = Transport::SerialPort::open({server.slavePath(), 115200});
    }

    Transport::SerialPort& serial() { return *static_cast<Transport::SerialPort*>(port.get()); }

    // One LSTAT of the root, sent as raw bytes.
    HRESULT sendLStat(ULONG timeout)
    {
        const Bytes request{0x4B, kSubsystem, 0x10, 0x00, '/', 0x00};
        Bytes response(64);
        USHORT length = static_cast<USHORT>(response.size());
        return port->SendRequest(static_cast<ULONG>(request.size()), request.data(), 1, 0, timeout,
                                 &length, response.data());
    }

    std::shared_ptr<Emulator::Handset> handset;
    Transport::PtyHandsetServer server;
    Platform::ComPtr<IDiagPort> port;
};

TEST_F(PtyHandsetServerTest, DropsDamagedFramesAndAnswersTheNextRequest)
{
    Transport::SerialLine line({server.slavePath(), 115200});
    Bytes damaged;
    const Bytes request{0x4B, kSubsystem, 0x10, 0x00, '/', 0x00};
    Transport::Hdlc::appendFrame(request.data(), request.size(), damaged);
    damaged[0] ^= 0x01;                     // check sum no longer matches
    damaged.insert(damaged.end(), 5000, 0); // longer than any request
    damaged.push_back(Transport::Hdlc::kFlag);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    line.write(damaged.data(), damaged.size(), deadline);

    EXPECT_EQ(sendLStat(kTimeout), S_OK);
    EXPECT_EQ(server.counters().badFrames, 2u);
    EXPECT_EQ(server.counters().requests, 1u);
}

TEST_F(PtyHandsetServerTest, ActsOutTheFaultsOfAPort)
{
    handset->queueFault(Emulator::Fault::noAnswer());
    EXPECT_EQ(sendLStat(200), Transport::kTimeoutResult);
    EXPECT_EQ(server.counters().unanswered, 1u);

    // A failing port garbles its frame: the client drops it and times out.
    handset->queueFault(Emulator::Fault::portFailure(E_FAIL));
    EXPECT_EQ(sendLStat(300), Transport::kTimeoutResult);
    EXPECT_EQ(serial().counters().badFrames, 1u);

    handset->queueFault(Emulator::Fault::latency(50));
    EXPECT_EQ(sendLStat(kTimeout), S_OK);

    // A device error travels in the response, as any other answer.
    handset->queueFault(Emulator::Fault::errorResponse(2));
    std::uint32_t mode = 0, atime = 0, mtime = 0, ctime = 0;
    try {
        EFSLStat(port.get(), kTimeout, kSubsystem).Execute(u"/", mode, atime, mtime, ctime);
        ADD_FAILURE() << "the error response was taken for an answer";
    } catch (const CEFSException& e) {
        EXPECT_EQ(e.GetCode(), 3u);
    }
}

TEST_F(PtyHandsetServerTest, StopsInTheMiddleOfALongPause)
{
    handset->queueFault(Emulator::Fault::latency(10 * 60 * 1000));
    EXPECT_EQ(sendLStat(100), Transport::kTimeoutResult);
    server.stop(); // hangs here if the pause ignores the request to stop
    EXPECT_EQ(server.counters().unanswered, 1u);
}

} // namespace

#endif
