// Every command once: the exact request it sends, the buffer it offers, what
// it makes of a good response, and the message of a device error.
#include "CommandTest.h"

#include "diag/EFSClose.h"
#include "diag/EFSCloseDir.h"
#include "diag/EFSFStat.h"
#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSRead.h"
#include "diag/EFSReadDir.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSUnlink.h"
#include "diag/EFSWrite.h"

#include <functional>

using namespace DiagTest;
using ::testing::ElementsAre;

class CommandsTest : public CommandTest {
protected:
    // `run` sends `request`: once answered with `response` (the checks in
    // `run` see the results), once with a device error, which must reach the
    // caller with the message `context`.
    void exchange(const Bytes& request, const Bytes& response, std::uint16_t capacity,
                  const std::string& context, const std::function<void()>& run)
    {
        port().expect(request, response);
        run();
        EXPECT_EQ(port().lastCapacity(), capacity);
        port().expect(request, Packet(28).u32(2));
        expectFailure(run, {3, context, kTransactFile, 100});
    }
};

TEST_F(CommandsTest, FileCommands)
{
    exchange(Packet(2).u32(0x241).u32(0666).text("/a/b"), Packet(2).u32(5).u32(0), 12,
             "EFS2_DIAG_OPEN /a/b",
             [&] { EXPECT_EQ(command<Diag::Efs::Open>().Execute(u"/a/b", 0x241, 0666), 5); });
    exchange(Packet(3).u32(5), Packet(3).u32(0), 8, "EFS2_DIAG_CLOSE",
             [&] { command<CEFSClose>().Execute(5); });
    exchange(Packet(4).u32(5).u32(3).u32(100), Packet(4).u32(5).u32(100).u32(3).u32(0).raw("abc"),
             532, "EFS2_DIAG_READ", [&] {
                 std::uint8_t data[3] = {};
                 EXPECT_EQ(command<CEFSRead>().Execute(data, 5, 3, 100), 3u);
                 EXPECT_THAT(data, ElementsAre('a', 'b', 'c'));
             });
    const std::uint8_t xyz[] = {'x', 'y', 'z'};
    exchange(Packet(5).u32(5).u32(8).raw("xyz"), Packet(5).u32(5).u32(8).u32(3).u32(0), 20,
             "EFS2_DIAG_WRITE", [&] { EXPECT_EQ(command<CEFSWrite>().Execute(xyz, 5, 3, 8), 3u); });
    exchange(Packet(17).u32(5),
             Packet(17).u32(0).u32(0x81B6).u32(1000).u32(1).u32(11).u32(22).u32(33), 32,
             "EFS2_DIAG_FSTAT", [&] {
                 std::uint32_t f[6] = {};
                 command<CEFSFStat>().Execute(5, f[0], f[1], f[2], f[3], f[4], f[5]);
                 EXPECT_THAT(f, ElementsAre(0x81B6u, 1000u, 1u, 11u, 22u, 33u));
             });
}

TEST_F(CommandsTest, DirectoryAndNameCommands)
{
    // UNLINK counts one more zero byte after the path's NUL.
    exchange(Packet(8).text("/a").u8(0), Packet(8).u32(0), 8, "EFS2_DIAG_UNLINK",
             [&] { command<EFSUnlink>().Execute(u"/a"); });
    exchange(Packet(9).u16(0666).text("/d"), Packet(9).u32(0), 8, "EFS2_DIAG_MKDIR",
             [&] { command<CEFSMkDir>().Execute(u"/d", 0666); });
    exchange(Packet(10).text("/a"), Packet(10).u32(0), 8, "EFS2_DIAG_RMDIR",
             [&] { command<Diag::Efs::Commands::RmDir>().Execute(u"/a"); });
    exchange(Packet(11).text("/x"), Packet(11).u32(0x77).u32(0), 12, "EFS2_DIAG_OPENDIR </x>",
             [&] { EXPECT_EQ(command<CEFSOpenDir>().Execute(u"/x"), 0x77u); });
    exchange(
        Packet(12).u32(0x77).u32(1),
        Packet(12).u32(0x77).u32(2).u32(0).u32(1).u32(0x41FF).u32(9).u32(11).u32(22).u32(33).text(
            "sub"),
        1065, "EFS2_DIAG_READDIR", [&] {
            std::uint32_t seqno = 1;
            const auto e = command<CEFSReadDir>().Read(0x77, seqno);
            EXPECT_EQ(seqno, 2u);
            EXPECT_EQ(e.name(), u"sub");
            const std::uint32_t fields[] = {
                e.type(),        e.mode(), e.size(), e.accessTime(), e.modificationTime(),
                e.creationTime()};
            EXPECT_THAT(fields, ElementsAre(1u, 0x41FFu, 9u, 11u, 22u, 33u));
        });
    exchange(Packet(13).u32(0x77), Packet(13).u32(0), 8, "EFS2_DIAG_CLOSEDIR",
             [&] { command<CEFSCloseDir>().Execute(0x77); });
    // The new name starts after the old one as it went out, escapes included.
    exchange(Packet(14).text("/&#x263A;").text("/\xE9"), Packet(14).u32(0), 8, "EFS2_DIAG_RENAME",
             [&] { command<CEFSRename>().Execute(u"/\u263A", u"/\u00E9"); });
    exchange(Packet(16).text("/d"), Packet(16).u32(0).u32(0x41FF).u32(11).u32(22).u32(33), 24,
             "EFS2_DIAG_LSTAT", [&] {
                 std::uint32_t f[4] = {};
                 command<EFSLStat>().Execute(u"/d", f[0], f[1], f[2], f[3]);
                 EXPECT_THAT(f, ElementsAre(0x41FFu, 11u, 22u, 33u));
             });
}

TEST_F(CommandsTest, OpenPathsInMessagesKeepTheLowByteOfEachUnit)
{
    // é survives; U+263A keeps only its low byte, ':'.
    port().expect(Packet(2).u32(0).u32(0444).text("/\xE9&#x263A;"), Packet(2).u32(0).u32(2));
    expectFailure([&] { command<Diag::Efs::Open>().Execute(u"/\u00E9\u263A", 0, 0444); },
                  {3, "EFS2_DIAG_OPEN /\xE9:", kTransactFile, 116});
}
