// The path commands at the 1024-byte limit, RENAME's two paths, READDIR's
// names and handles.
#include "CommandTest.h"

#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSReadDir.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSUnlink.h"

#include <functional>
#include <string>

using namespace DiagTest;

namespace {

struct PathLimit {
    const char* what;
    std::function<std::int16_t(std::u16string_view)> setPath;
    std::int16_t lengthAt1024;
    Failure tooLong;
};

Packet readDirResponse(std::uint32_t dirp, std::uint32_t seqno)
{
    return Packet().header(12).u32(dirp).u32(seqno).u32(0).u32(0).u32(0x81B6).u32(3).zeros(12);
}

} // namespace

using DirectoryCommandsTest = CommandTest;

TEST(PathRequests, TakeUpTo1024BytesAndRefuseMore)
{
    const std::u16string shortPath = u"/b";
    const PathLimit cases[] = {
        {"OPENDIR",
         [](auto p) { return CEFSOpenDirCmd(kSubsystem).SetPath(p); },
         1029,
         {516, "EFS2_DIAG_OPENDIR", "SharedInc\\EFSOpenDir", 38}},
        {"MKDIR",
         [](auto p) { return CEFSMkDirCmd(0666, kSubsystem).SetPath(p); },
         1031,
         {516, "EFS2_DIAG_MKDIR", "SharedInc\\EFSMkDirCmd", 34}},
        {"RMDIR",
         [](auto p) { return CEFSRmDirCmd(kSubsystem).SetPath(p); },
         1029,
         {516, "EFS2_DIAG_RMDIR", "SharedInc\\EFSRmDirCmd", 32}},
        {"UNLINK",
         [](auto p) { return CEFSUnlinkCmd(kSubsystem).SetPath(p); },
         1030,
         {516, "EFS2_DIAG_UNLINK", "SharedInc\\EFSUnlinkCmd", 33}},
        {"LSTAT",
         [](auto p) { return CEFSLStatCmd(kSubsystem).SetPath(p); },
         1029,
         {516, "EFS2_DIAG_LSTAT", "SharedInc\\EFSLStat", 36}},
        {"RENAME, old path",
         [&](auto p) {
             return CEFSRenameCmd(kSubsystem).SetNames(CEFSNamePair(std::u16string(p), shortPath));
         },
         1032,
         {516, "EFS2_DIAG_RENAME", "vornak\\EFSRename", 35}},
        {"RENAME, new path",
         [&](auto p) {
             return CEFSRenameCmd(kSubsystem).SetNames(CEFSNamePair(shortPath, std::u16string(p)));
         },
         1032,
         {516, "EFS2_DIAG_RENAME", "vornak\\EFSRename", 42}},
    };
    const std::u16string at1024 = u"/" + std::u16string(1023, u'a');
    for (const PathLimit& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.setPath(at1024), c.lengthAt1024);
        expectFailure([&] { c.setPath(at1024 + u"a"); }, c.tooLong);
    }
    // Both too long: the old path is the one reported.
    expectFailure(
        [&] { CEFSRenameCmd(kSubsystem).SetNames(CEFSNamePair(at1024 + u"a", at1024 + u"a")); },
        {516, "EFS2_DIAG_RENAME", "vornak\\EFSRename", 35});
}

TEST_F(DirectoryCommandsTest, RenameStartsTheNewPathAfterTheEscapedOldOne)
{
    port().expect(Packet().header(14).text("/&#x263A;").u8(0).text("/\xE9").u8(0),
                  Packet().header(14).u32(0));
    command<CEFSRename>().Execute(u"/\u263A", u"/\u00E9");

    const CEFSNamePair pair(u"/old", u"/new");
    EXPECT_EQ(pair.GetOldName(), u"/old");
    EXPECT_EQ(pair.GetNewName(), u"/new");
}

TEST_F(DirectoryCommandsTest, ReadDirNames)
{
    const struct {
        const char* what;
        Bytes response;
        std::string name;
    } cases[] = {
        {"41 bytes: the end", readDirResponse(0x77, 4).u8(0), ""},
        {"41 bytes, not even a NUL", readDirResponse(0x77, 4).u8('a'), ""},
        {"one letter", readDirResponse(0x77, 4).text("a").u8(0), "a"},
        {"up to the first NUL", readDirResponse(0x77, 4).text("ab").u8(0).text("cd"), "ab"},
        {"no NUL", readDirResponse(0x77, 4).text("abc"), "abc"},
        {"1025 bytes, no NUL", readDirResponse(0x77, 4).text(std::string(1025, 'n')),
         std::string(1025, 'n')},
    };
    auto readDir = command<CEFSReadDir>();
    std::uint32_t f[6] = {};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port().expect(Packet().header(12).u32(0x77).u32(3), c.response);
        std::uint32_t seqno = 3;
        EXPECT_EQ(readDir.Execute(0x77, seqno, f[0], f[1], f[2], f[3], f[4], f[5]), c.name);
        EXPECT_EQ(seqno, 4u) << "the handset's number comes back";
        EXPECT_EQ(f[1], 0x81B6u);
        EXPECT_EQ(f[2], 3u);
    }

    // Names come back from Windows-1252 with their character references.
    port().expect(Packet().header(12).u32(0x77).u32(0),
                  readDirResponse(0x77, 0).text("\xE9&#x263A;").u8(0));
    std::uint32_t seqno = 0;
    EXPECT_EQ(readDir.Read(0x77, seqno).name(), u"\u00E9\u263A");
}

TEST_F(DirectoryCommandsTest, ReadDirRefusesOtherHandlesAndLengths)
{
    auto readDir = command<CEFSReadDir>();
    std::uint32_t seqno = 0;
    const Bytes request = Packet().header(12).u32(0x77).u32(0);
    port().expect(request, readDirResponse(0x78, 0).u8(0));
    expectFailure([&] { readDir.Read(0x77, seqno); },
                  {515, "EFS2_DIAG_READDIR", "..\\CommonLib\\EfsReadDir", 205});
    port().expect(request, readDirResponse(0x77, 0));
    expectFailure([&] { readDir.Read(0x77, seqno); },
                  {514, "EFS2_DIAG_READDIR", kTransactFile, 111});
    port().expect(request, readDirResponse(0x77, 0).text(std::string(1026, 'n')));
    expectFailure([&] { readDir.Read(0x77, seqno); },
                  {514, "EFS2_DIAG_READDIR", kTransactFile, 111});
}
