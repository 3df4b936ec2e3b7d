// READDIR's names and handles.
#include "CommandTest.h"

#include "diag/EFSReadDir.h"

using namespace DiagTest;

using DirectoryCommandsTest = CommandTest;

TEST_F(DirectoryCommandsTest, ReadDirNames)
{
    const struct {
        const char* what;
        Bytes response;
        std::string name;
    } cases[] = {
        {"41 bytes: the end", readDirResponse(0x77, 4).u8(0), ""},
        {"41 bytes, not even a NUL", readDirResponse(0x77, 4).u8('a'), ""},
        {"up to the first NUL", readDirResponse(0x77, 4).text("ab").raw("cd"), "ab"},
        {"no NUL", readDirResponse(0x77, 4).raw("abc"), "abc"},
        {"1025 bytes, no NUL", readDirResponse(0x77, 4).raw(std::string(1025, 'n')),
         std::string(1025, 'n')},
    };
    auto readDir = command<CEFSReadDir>();
    std::uint32_t f[6] = {};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port().expect(Packet(12).u32(0x77).u32(3), c.response);
        std::uint32_t seqno = 3;
        EXPECT_EQ(readDir.Execute(0x77, seqno, f[0], f[1], f[2], f[3], f[4], f[5]), c.name);
        EXPECT_EQ(seqno, 4u) << "the handset's number comes back";
    }

    // Names come back from Windows-1252 with their character references.
    port().expect(Packet(12).u32(0x77).u32(0), readDirResponse(0x77, 0).text("\xE9&#x263A;"));
    std::uint32_t seqno = 0;
    EXPECT_EQ(readDir.Read(0x77, seqno).name(), u"\u00E9\u263A");
}

TEST_F(DirectoryCommandsTest, ReadDirRefusesOtherHandlesAndLengths)
{
    const Failure tooShortOrLong{514, "EFS2_DIAG_READDIR", kTransactFile, 111};
    const std::pair<Bytes, Failure> cases[] = {
        {readDirResponse(0x78, 0).u8(0),
         {515, "EFS2_DIAG_READDIR", "..\\CommonLib\\EfsReadDir", 205}},
        {readDirResponse(0x77, 0), tooShortOrLong},
        {readDirResponse(0x77, 0).raw(std::string(1026, 'n')), tooShortOrLong},
    };
    auto readDir = command<CEFSReadDir>();
    for (const auto& [response, failure] : cases) {
        port().expect(Packet(12).u32(0x77).u32(0), response);
        std::uint32_t seqno = 0;
        expectFailure([&] { readDir.Read(0x77, seqno); }, failure);
    }
}
