// RENAME's two paths, READDIR's names and handles.
#include "CommandTest.h"

#include "diag/EFSReadDir.h"
#include "diag/EFSRename.h"

#include <string>

using namespace DiagTest;

namespace {

Packet readDirResponse(std::uint32_t dirp, std::uint32_t seqno)
{
    return Packet().header(12).u32(dirp).u32(seqno).u32(0).u32(0).u32(0x81B6).u32(3).zeros(12);
}

} // namespace

using DirectoryCommandsTest = CommandTest;

TEST_F(DirectoryCommandsTest, RenameStartsTheNewPathAfterTheEscapedOldOne)
{
    port().expect(Packet().header(14).text("/&#x263A;").u8(0).text("/\xE9").u8(0),
                  Packet().header(14).u32(0));
    command<CEFSRename>().Execute(u"/\u263A", u"/\u00E9");
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
