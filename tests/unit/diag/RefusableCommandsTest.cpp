// The commands beyond the thirteen, which a handset may lack: the exact
// request of each, what it makes of a good response, and every malformed
// answer it must refuse, a refusal of the command among them.
#include "CommandTest.h"

#include "diag/EFSAccess.h"
#include "diag/EFSChmod.h"
#include "diag/EFSDelTree.h"
#include "diag/EFSDevInfo.h"
#include "diag/EFSFTruncate.h"
#include "diag/EFSGet.h"
#include "diag/EFSMd5Sum.h"
#include "diag/EFSPut.h"
#include "diag/EFSReadLink.h"
#include "diag/EFSStat.h"
#include "diag/EFSStatFs.h"
#include "diag/EFSSymlink.h"
#include "diag/EFSTruncate.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace DiagTest;
using namespace Diag::Efs;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

const std::uint8_t kItem[] = {1, 2, 3, 0x7E};
const std::string kDigest = "0123456789abcdef";

// One command as a test drives it: the request it sends, a good answer, the
// buffer it offers, its name in messages, and a call that checks what it made
// of the good answer.
struct Command {
    const char* name;
    Bytes request;
    Bytes response;
    std::uint16_t capacity;
    std::function<void(IUnknown*)> run;
};

template <class Transaction>
Transaction make(IUnknown* port)
{
    return Transaction(port, kTimeout, kSubsystem);
}

std::vector<Command> commands()
{
    return {
        {"EFS2_DIAG_STAT", Packet(15).text("/a"),
         Packet(15).u32(0).u32(0x81B6).u32(1000).u32(1).u32(11).u32(22).u32(33), 1030,
         [](IUnknown* port) {
             const FileStatus s = make<Stat>(port).Execute(u"/a");
             const std::uint32_t fields[] = {
                 s.mode, s.size, s.linkCount, s.accessTime, s.modificationTime, s.changeTime};
             EXPECT_THAT(fields, ElementsAre(0x81B6u, 1000u, 1u, 11u, 22u, 33u));
         }},
        {"EFS2_DIAG_CHMOD", Packet(18).u16(0100640).text("/a"), Packet(18).u32(0), 1032,
         [](IUnknown* port) { make<Chmod>(port).Execute(u"/a", 0100640); }},
        {"EFS2_DIAG_SYMLINK", Packet(6).text("../&#x263A;").text("/l"), Packet(6).u32(0), 2055,
         [](IUnknown* port) { make<Symlink>(port).Execute(u"../\u263A", u"/l"); }},
        {"EFS2_DIAG_READLINK", Packet(7).text("/l"), Packet(7).u32(0).text("../&#x263A;"), 1033,
         [](IUnknown* port) { EXPECT_EQ(make<ReadLink>(port).Execute(u"/l"), u"../\u263A"); }},
        {"EFS2_DIAG_STATFS", Packet(19).text("/"),
         Packet(19)
             .u32(0)
             .u32(7)
             .raw(std::string("EFS2\0\0\0\0", 8))
             .u32(512)
             .u32(1000)
             .u32(900)
             .u32(950)
             .u32(1u << 20)
             .u32(12)
             .u32(4096),
         1030,
         [](IUnknown* port) {
             const FileSystemStatus s = make<StatFs>(port).Execute(u"/");
             EXPECT_EQ(s.type, "EFS2");
             const std::uint32_t fields[] = {
                 s.id,         s.blockSize,   s.totalBlocks, s.availableBlocks,
                 s.freeBlocks, s.maxFileSize, s.fileCount,   s.maxFileCount};
             EXPECT_THAT(fields, ElementsAre(7u, 512u, 1000u, 900u, 950u, 1u << 20, 12u, 4096u));
         }},
        {"EFS2_DIAG_ACCESS", Packet(20).u8(6).text("/a"), Packet(20).u32(0), 1031,
         [](IUnknown* port) { make<Access>(port).Execute(u"/a", 6); }},
        {"EFS2_DIAG_DEV_INFO", Packet(21),
         Packet(21).u32(0).u32(2048).u32(64).u32(2048).u32(2112).u32(0xEC).u32(0xDA).u8(1).text(
             "NAND 256M"),
         289,
         [](IUnknown* port) {
             const DeviceInfo d = make<DevInfo>(port).Execute();
             const std::uint32_t fields[] = {d.totalBlocks,   d.pagesPerBlock, d.pageSize,
                                             d.totalPageSize, d.makerId,       d.deviceId,
                                             d.deviceType};
             EXPECT_THAT(fields, ElementsAre(2048u, 64u, 2048u, 2112u, 0xECu, 0xDAu, 1u));
             EXPECT_EQ(d.name, "NAND 256M");
         }},
        {"EFS2_DIAG_DELTREE", Packet(37).u16(1).text("/d"), Packet(37).u16(1).u32(0), 1032,
         [](IUnknown* port) { make<DelTree>(port).Execute(u"/d"); }},
        {"EFS2_DIAG_TRUNCATE", Packet(40).u16(1).u32(100).text("/a"), Packet(40).u16(1).u32(0),
         1036, [](IUnknown* port) { make<Truncate>(port).Execute(u"/a", 100); }},
        {"EFS2_DIAG_FTRUNCATE", Packet(41).u16(1).u32(5).u32(3), Packet(41).u16(1).u32(0), 15,
         [](IUnknown* port) { make<FTruncate>(port).Execute(3, 5); }},
        {"EFS2_DIAG_MD5SUM", Packet(43).u16(1).text("/a"), Packet(43).u16(1).u32(0).raw(kDigest),
         1032,
         [](IUnknown* port) {
             EXPECT_THAT(make<Md5Sum>(port).Execute(u"/a"), ElementsAreArray(kDigest));
         }},
        {"EFS2_DIAG_PUT", Packet(38).u32(4).u32(0x41).u32(0644).raw("\x01\x02\x03\x7E").text("/i"),
         Packet(38).u16(0).u32(0), 2066,
         [](IUnknown* port) { make<Put>(port).Execute(u"/i", kItem, 0x41, 0644); }},
        {"EFS2_DIAG_GET", Packet(39).u32(8).u32(3).u16(1).text("/i"),
         Packet(39).u32(4).u32(0).u16(1).raw("\x01\x02\x03\x7E"), 1040,
         [](IUnknown* port) {
             std::uint8_t data[8] = {};
             EXPECT_EQ(make<Get>(port).Execute(u"/i", data, 8), 4u);
             EXPECT_THAT(data, ElementsAre(1, 2, 3, 0x7E, 0, 0, 0, 0));
         }},
    };
}

Bytes refusal(std::uint8_t code, const Bytes& echoed)
{
    Bytes packet(echoed.size() + 1, code);
    std::copy(echoed.begin(), echoed.end(), packet.begin() + 1);
    return packet;
}

// The good answer with one byte more or less.
Bytes resized(Bytes packet, std::ptrdiff_t change)
{
    packet.resize(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(packet.size()) + change));
    return packet;
}

} // namespace

using RefusableCommandsTest = CommandTest;

TEST_F(RefusableCommandsTest, SendExactRequestsAndReadGoodAnswers)
{
    for (const Command& c : commands()) {
        SCOPED_TRACE(c.name);
        port().expect(c.request, c.response);
        c.run(port().unknown());
        EXPECT_EQ(port().lastCapacity(), c.capacity);
        // The buffer holds a refusal of the longest request.
        EXPECT_GT(port().lastCapacity(), c.request.size());
        port().expect(c.request, Packet(28).u32(2));
        expectFailure([&] { c.run(port().unknown()); }, {3, c.name, kTransactFile, 100});
    }
}

TEST_F(RefusableCommandsTest, TellARefusalFromAnyOtherAnswer)
{
    for (const Command& c : commands()) {
        SCOPED_TRACE(c.name);
        const Bytes header(c.request.begin(), c.request.begin() + 4);
        Bytes otherEcho = c.request;
        otherEcho.back() ^= 1;
        const std::pair<Bytes, Failure> cases[] = {
            {refusal(0x13, c.request), {540, c.name, kTransactFile, 103}},
            {refusal(0x14, c.request), {540, c.name, kTransactFile, 103}},
            {refusal(0x15, c.request), {540, c.name, kTransactFile, 103}},
            {refusal(0x13, header), {540, c.name, kTransactFile, 103}}, // a shortened echo
            {refusal(0x13, Bytes(header.begin(), header.begin() + 3)),
             {525, c.name, kTransactFile, 104}},
            {refusal(0x13, otherEcho), {525, c.name, kTransactFile, 104}},
            {resized(refusal(0x13, c.request), 1), {525, c.name, kTransactFile, 104}},
            {refusal(0x16, c.request), {525, c.name, kTransactFile, 104}},
        };
        for (const auto& [response, failure] : cases) {
            port().expect(c.request, response);
            expectFailure([&] { c.run(port().unknown()); }, failure);
        }
    }
}

TEST_F(RefusableCommandsTest, RefuseAnswersOfAnotherLength)
{
    const Failure badLength{514, "", kTransactFile, 111};
    for (const Command& c : commands()) {
        SCOPED_TRACE(c.name);
        // READLINK, DEV_INFO and GET take text or data of any length up to
        // their buffers, after fields of 8, 33 and 14 bytes; the others are
        // of one size.
        const std::string name = c.name;
        const std::size_t fields = name == "EFS2_DIAG_READLINK"   ? 8
                                   : name == "EFS2_DIAG_DEV_INFO" ? 33
                                   : name == "EFS2_DIAG_GET"      ? 14
                                                                  : 0;
        std::vector<Bytes> wrong;
        if (fields == 0) {
            wrong = {resized(c.response, -1), resized(c.response, 1)};
        } else {
            wrong = {Bytes(c.response.begin(), c.response.begin() + fields - 1)};
        }
        for (const Bytes& response : wrong) {
            port().expect(c.request, response);
            expectFailure([&] { c.run(port().unknown()); },
                          {badLength.code, c.name, badLength.file, badLength.line});
        }
    }
    // Longer than the buffer, reported by the port.
    port().expect(Packet(21), Packet(21).u32(0), 290);
    expectFailure([&] { make<DevInfo>(port().unknown()).Execute(); },
                  {514, "EFS2_DIAG_DEV_INFO", kTransactFile, 111});
}

TEST_F(RefusableCommandsTest, LaterCommandsNumberTheirRequestsAndWantTheNumberBack)
{
    auto delTree = command<DelTree>();
    for (std::uint16_t sequence = 1; sequence <= 2; ++sequence) {
        port().expect(Packet(37).u16(sequence).text("/d"), Packet(37).u16(sequence).u32(0));
        delTree.Execute(u"/d");
    }
    const struct {
        Bytes request;
        Bytes response;
        std::function<void()> run;
        const char* name;
    } cases[] = {
        {Packet(37).u16(1).text("/d"), Packet(37).u16(2).u32(0),
         [&] { command<DelTree>().Execute(u"/d"); }, "EFS2_DIAG_DELTREE"},
        {Packet(40).u16(1).u32(0).text("/a"), Packet(40).u16(0).u32(0),
         [&] { command<Truncate>().Execute(u"/a", 0); }, "EFS2_DIAG_TRUNCATE"},
        {Packet(41).u16(1).u32(0).u32(3), Packet(41).u16(0x100).u32(0),
         [&] { command<FTruncate>().Execute(3, 0); }, "EFS2_DIAG_FTRUNCATE"},
        {Packet(43).u16(1).text("/a"), Packet(43).u16(9).u32(0).raw(kDigest),
         [&] { command<Md5Sum>().Execute(u"/a"); }, "EFS2_DIAG_MD5SUM"},
        {Packet(39).u32(8).u32(3).u16(1).text("/i"), Packet(39).u32(0).u32(0).u16(2),
         [&] {
             std::uint8_t data[8];
             command<Get>().Execute(u"/i", data, 8);
         },
         "EFS2_DIAG_GET"},
    };
    for (const auto& c : cases) {
        port().expect(c.request, c.response);
        try {
            c.run();
            ADD_FAILURE() << c.name << " took another sequence number";
        } catch (const CEFSException& e) {
            EXPECT_EQ(e.GetCode(), 541u) << c.name;
            EXPECT_EQ(e.GetMessage(), c.name);
        }
    }
    // PUT's request has no number; its answer's is not read.
    port().expect(Packet(38).u32(0).u32(1).u32(0).text("/i"), Packet(38).u16(77).u32(0));
    command<Put>().Execute(u"/i", {}, 1, 0);
}

TEST_F(RefusableCommandsTest, ItemsAndDeviceNamesNeverRunPastTheirBuffers)
{
    const Bytes get = Packet(39).u32(4).u32(3).u16(1).text("/i");
    const auto answer = [](std::int32_t count, std::string_view data) {
        return Packet(39).u32(static_cast<std::uint32_t>(count)).u32(0).u16(1).raw(data);
    };
    const struct {
        const char* what;
        Bytes response;
        std::optional<std::uint32_t> code; // the failure, or success
    } cases[] = {
        {"no data", answer(0, ""), std::nullopt},
        {"more than asked for", answer(5, "abcde"), 514},
        {"more than arrived", answer(3, "ab"), 514},
        {"a negative count", answer(-1, ""), 514},
        {"over 1024 bytes", answer(4, std::string(1025, 'x')), 514},
        {"a failure with a count of -1", Packet(39).u32(0xFFFFFFFF).u32(2).u16(1), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port().expect(get, c.response);
        std::uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        try {
            EXPECT_EQ(command<Get>().Execute(u"/i", data, 4), 0u);
            EXPECT_FALSE(c.code);
        } catch (const CEFSException& e) {
            EXPECT_EQ(std::optional<std::uint32_t>(e.GetCode()), c.code);
            EXPECT_THAT(data, ::testing::Each(0xEE)) << "copied from a refused answer";
        }
    }

    // Items are one packet: more than 1024 bytes never leave.
    const std::size_t sent = port().calls();
    const std::vector<std::uint8_t> big(1025, 'x');
    std::vector<std::uint8_t> room(1025);
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { command<Put>().Execute(u"/i", big, 1, 0); },
             [&] { command<Get>().Execute(u"/i", room.data(), 1025); }}) {
        try {
            call();
            ADD_FAILURE() << "sent";
        } catch (const CEFSException& e) {
            EXPECT_EQ(e.GetCode(), 542u);
        }
    }
    // 1024 bytes of item and 1024 of path fill PUT's packet exactly.
    Commands::Put put(1, 0, kSubsystem);
    EXPECT_EQ(put.SetItem(std::vector<std::uint8_t>(1024, 'x'), u"/" + std::u16string(1023, u'p')),
              16 + 1024 + 1025);
    EXPECT_EQ(port().calls(), sent);

    // A failure may come without the device fields; a success may not.
    port().expect(Packet(21), Packet(21).u32(0x4000000B));
    expectFailure([&] { command<DevInfo>().Execute(); },
                  {513, "EFS2_DIAG_DEV_INFO", kTransactFile, 116});
    port().expect(Packet(21), Packet(21).u32(0));
    expectFailure([&] { command<DevInfo>().Execute(); },
                  {514, "EFS2_DIAG_DEV_INFO", kTransactFile, 111});
    // Names and targets end at their NUL or with the bytes received.
    port().expect(Packet(21), Packet(21).u32(0).zeros(24).u8(1).raw("NAND"));
    EXPECT_EQ(command<DevInfo>().Execute().name, "NAND");
    port().expect(Packet(7).text("/l"), Packet(7).u32(0).text("/t").raw("junk"));
    EXPECT_EQ(command<ReadLink>().Execute(u"/l"), u"/t");
    port().expect(Packet(7).text("/l"), Packet(7).u32(0));
    EXPECT_EQ(command<ReadLink>().Execute(u"/l"), u"");
}

TEST_F(RefusableCommandsTest, PathsOver1024BytesNeverLeave)
{
    const std::u16string tooLong = u"/" + std::u16string(1024, u'a');
    std::uint8_t data[4];
    const std::vector<std::function<void()>> calls = {
        [&] { command<Stat>().Execute(tooLong); },
        [&] { command<Chmod>().Execute(tooLong, 0644); },
        [&] { command<Symlink>().Execute(tooLong, u"/l"); },
        [&] { command<Symlink>().Execute(u"/t", tooLong); },
        [&] { command<ReadLink>().Execute(tooLong); },
        [&] { command<StatFs>().Execute(tooLong); },
        [&] { command<Access>().Execute(tooLong, 0); },
        [&] { command<DelTree>().Execute(tooLong); },
        [&] { command<Truncate>().Execute(tooLong, 0); },
        [&] { command<Md5Sum>().Execute(tooLong); },
        [&] { command<Put>().Execute(tooLong, {}, 1, 0); },
        [&] { command<Get>().Execute(tooLong, data, 4); },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "sent";
        } catch (const CEFSException& e) {
            EXPECT_EQ(e.GetCode(), 516u);
        }
    }
    EXPECT_EQ(port().calls(), 0u);
}
