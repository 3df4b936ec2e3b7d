// The handset at packet level: every command byte for byte, open flags,
// directory listings, requests it cannot parse, and the faults that change or
// replace its responses. Its device errors are checked through our own
// commands, in the round trip test.
#include "support/Packet.h"

#include "diag/DeviceError.h"
#include "emulator/Handset.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace Emulator;
using namespace TestSupport;
namespace Efs2 = Diag::Efs2;

namespace {

constexpr std::uint32_t kNow = 1'000'000'000; // the handset's clock in every test
constexpr std::uint32_t kFile644 = 0x8000 | 0644;

FileSystem seeded(const Limits& limits = Limits())
{
    FileSystem fileSystem(limits, [] { return kNow; });
    fileSystem.addFile(u"/a.txt", bytesOf("hello"), 0644);
    fileSystem.addFile(u"/ro.txt", bytesOf("locked"), 0444);
    fileSystem.addFile(u"/full/inner", {}, 0644);
    fileSystem.addDirectory(u"/dir", 0755);
    return fileSystem;
}

// Every scenario closes what it opens: the tables are empty at its end.
class HandsetTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(handset->openDescriptors(), 0u);
        EXPECT_EQ(handset->openDirectories(), 0u);
    }
    Bytes send(const Bytes& request) { return handset->respond(request); }
    struct Exchanged {
        Bytes response;
        std::optional<Fault> portFault;
    };
    Exchanged exchange(const Bytes& request)
    {
        Bytes response(handset->responseCapacity());
        const Exchange result = handset->exchange(request, response);
        response.resize(result.length);
        return {response, result.portFault};
    }
    std::uint32_t openFile(std::string_view path, std::uint32_t flags)
    {
        const Bytes response = send(Packet(Efs2::Open).u32(flags).u32(0644).text(path));
        EXPECT_EQ(field32(response, 8), kSuccess) << path;
        return field32(response, 4);
    }
    void closeFile(std::uint32_t fd)
    {
        EXPECT_EQ(field32(send(Packet(Efs2::Close).u32(fd)), 4), 0u);
    }

    std::shared_ptr<Handset> handset = std::make_shared<Handset>(seeded());
};

} // namespace

TEST_F(HandsetTest, AnswersEveryCommandByteForByte)
{
    for (const std::uint8_t s : {Efs2::kFileSubsystem, Efs2::kAlternateFileSubsystem}) {
        SCOPED_TRACE(int(s));
        handset = std::make_shared<Handset>(seeded());
        const std::uint32_t t = kNow;
        // clang-format off
        const std::pair<Bytes, Bytes> session[] = {
            {Packet(Efs2::Hello, s).u32(8).u32(4096).u32(8).u32(4096).u32(8).u32(4096).u32(2).u32(1).u32(3).u32(7),
             Packet(Efs2::Hello, s).u32(0x100000).u32(0x100000).u32(0x100000).u32(0x100000).u32(0x100000).u32(0x100000).u32(1).u32(1).u32(1).u32(0)},
            {Packet(Efs2::Query, s),
             Packet(Efs2::Query, s).u32(768).u32(1024).u32(8).u32(64u << 20).u32(4096).u32(1)},
            {Packet(Efs2::MkDir, s).u16(0755).text("/d"), Packet(Efs2::MkDir, s).u32(0)},
            {Packet(Efs2::Open, s).u32(0x241).u32(0644).text("/d/f"), Packet(Efs2::Open, s).u32(0).u32(0)},
            {Packet(Efs2::Write, s).u32(0).u32(0).raw("abc"), Packet(Efs2::Write, s).u32(0).u32(0).u32(3).u32(0)},
            {Packet(Efs2::FStat, s).u32(0),
             Packet(Efs2::FStat, s).u32(0).u32(kFile644).u32(3).u32(1).u32(t).u32(t).u32(t)},
            {Packet(Efs2::Close, s).u32(0), Packet(Efs2::Close, s).u32(0)},
            {Packet(Efs2::Open, s).u32(0).u32(0444).text("/d/f"), Packet(Efs2::Open, s).u32(0).u32(0)},
            {Packet(Efs2::Read, s).u32(0).u32(10).u32(1), Packet(Efs2::Read, s).u32(0).u32(1).u32(2).u32(0).raw("bc")},
            {Packet(Efs2::Close, s).u32(0), Packet(Efs2::Close, s).u32(0)},
            {Packet(Efs2::LStat, s).text("/d"), Packet(Efs2::LStat, s).u32(0).u32(0x41ED).u32(t).u32(t).u32(t)},
            {Packet(Efs2::OpenDir, s).text("/d"), Packet(Efs2::OpenDir, s).u32(1).u32(0)},
            {Packet(Efs2::ReadDir, s).u32(1).u32(1),
             Packet(Efs2::ReadDir, s).u32(1).u32(1).u32(0).u32(0).u32(kFile644).u32(3).u32(t).u32(t).u32(t).text("f")},
            {Packet(Efs2::ReadDir, s).u32(1).u32(2),
             Packet(Efs2::ReadDir, s).u32(1).u32(2).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).text("")},
            {Packet(Efs2::CloseDir, s).u32(1), Packet(Efs2::CloseDir, s).u32(0)},
            {Packet(Efs2::Rename, s).text("/d/f").text("/d/g"), Packet(Efs2::Rename, s).u32(0)},
            {Packet(Efs2::Unlink, s).text("/d/g").u8(0), Packet(Efs2::Unlink, s).u32(0)},
            {Packet(Efs2::RmDir, s).text("/d"), Packet(Efs2::RmDir, s).u32(0)},
            {Packet(Efs2::Unlink, s).text("/a.txt"), Packet(Efs2::Unlink, s).u32(0)},
        };
        // clang-format on
        for (const auto& [request, expected] : session) {
            EXPECT_EQ(send(request), expected) << "command " << int(request[2]);
        }
    }
}

TEST_F(HandsetTest, AnswersTheLaterCommandsByteForByte)
{
    const std::uint32_t t = kNow;
    // Seeded files were made a second before they were modified and read a
    // second after; CHMOD makes the change time now.
    const std::uint32_t seededMade = t - 1;
    const std::uint32_t seededRead = t + 1;
    constexpr std::uint32_t kLink = 0xA000 | 0777;
    constexpr std::uint32_t kItem = 0xE000 | 0644;
    const std::string md5OfH = "\x25\x10\xc3\x90\x11\xc5\xbe\x70\x41\x82\x42\x3e\x3a\x69\x5e\x91";
    for (const std::uint8_t s : {Efs2::kFileSubsystem, Efs2::kAlternateFileSubsystem}) {
        SCOPED_TRACE(int(s));
        handset = std::make_shared<Handset>(seeded());
        // clang-format off
        const std::pair<Bytes, Bytes> session[] = {
            {Packet(Efs2::Stat, s).text("/a.txt"), Packet(Efs2::Stat, s).u32(0).u32(kFile644).u32(5).u32(1).u32(seededRead).u32(t).u32(seededMade)},
            {Packet(Efs2::Stat, s).text("/none"), Packet(Efs2::Stat, s).u32(kNoEntry).zeros(24)},
            {Packet(Efs2::Symlink, s).text("a.txt").text("/dir/l"), Packet(Efs2::Symlink, s).u32(0)},
            {Packet(Efs2::ReadLink, s).text("/dir/l"), Packet(Efs2::ReadLink, s).u32(0).text("a.txt")},
            {Packet(Efs2::ReadLink, s).text("/a.txt"), Packet(Efs2::ReadLink, s).u32(kInvalidArgument).text("")},
            {Packet(Efs2::LStat, s).text("/dir/l"), Packet(Efs2::LStat, s).u32(0).u32(kLink).u32(t).u32(t).u32(t)},
            // A relative target starts from the link's directory.
            {Packet(Efs2::Stat, s).text("/dir/l"), Packet(Efs2::Stat, s).u32(kNoEntry).zeros(24)},
            {Packet(Efs2::Symlink, s).text("../a.txt").text("/dir/up"), Packet(Efs2::Symlink, s).u32(0)},
            {Packet(Efs2::Stat, s).text("/dir/up"), Packet(Efs2::Stat, s).u32(0).u32(kFile644).u32(5).u32(1).u32(seededRead).u32(t).u32(seededMade)},
            {Packet(Efs2::Chmod, s).u16(0100600).text("/dir/up"), Packet(Efs2::Chmod, s).u32(0)},
            {Packet(Efs2::LStat, s).text("/a.txt"), Packet(Efs2::LStat, s).u32(0).u32(0x8180).u32(seededRead).u32(t).u32(t)},
            {Packet(Efs2::Access, s).u8(6).text("/a.txt"), Packet(Efs2::Access, s).u32(0)},
            {Packet(Efs2::Access, s).u8(1).text("/a.txt"), Packet(Efs2::Access, s).u32(kAccessDenied)},
            {Packet(Efs2::StatFs, s).text("/"),
             Packet(Efs2::StatFs, s).u32(0).u32(0).raw(std::string("EFS2\0\0\0\0", 8)).u32(512).u32(524288)
                 .u32(524287).u32(524287).u32(64u << 20).u32(7).u32(1u << 20)},
            {Packet(Efs2::DevInfo, s),
             Packet(Efs2::DevInfo, s).u32(0).u32(2048).u32(64).u32(2048).u32(2112).u32(0).u32(0).u8(1).text("VORNAK EMULATED NAND")},
            {Packet(Efs2::Put, s).u32(3).u32(0x41).u32(0644).raw("abc").text("/i"), Packet(Efs2::Put, s).u16(0).u32(0)},
            {Packet(Efs2::Get, s).u32(16).u32(3).u16(7).text("/i"), Packet(Efs2::Get, s).u32(3).u32(0).u16(7).raw("abc")},
            {Packet(Efs2::Get, s).text("/i"), Packet(Efs2::Get, s).u32(3).u32(0).raw("abc")},
            {Packet(Efs2::Get, s).u32(2).u32(3).u16(8).text("/i"), Packet(Efs2::Get, s).u32(0xFFFFFFFF).u32(kOutOfRange).u16(8)},
            {Packet(Efs2::LStat, s).text("/i"), Packet(Efs2::LStat, s).u32(0).u32(kItem).u32(t).u32(t).u32(t)},
            {Packet(Efs2::Truncate, s).u16(5).u32(1).text("/a.txt"), Packet(Efs2::Truncate, s).u16(5).u32(0)},
            {Packet(Efs2::Md5Sum, s).u16(9).text("/dir/up"), Packet(Efs2::Md5Sum, s).u16(9).u32(0).raw(md5OfH)},
            {Packet(Efs2::Md5Sum, s).u16(9).text("/dir"), Packet(Efs2::Md5Sum, s).u16(9).u32(kIsDirectory).zeros(16)},
            {Packet(Efs2::Open, s).u32(2).u32(0).text("/a.txt"), Packet(Efs2::Open, s).u32(0).u32(0)},
            {Packet(Efs2::FTruncate, s).u16(6).u32(0).u32(0), Packet(Efs2::FTruncate, s).u16(6).u32(0)},
            {Packet(Efs2::FTruncate, s).u16(6).u32(0).u32(1), Packet(Efs2::FTruncate, s).u16(6).u32(kBadDescriptor)},
            {Packet(Efs2::Close, s).u32(0), Packet(Efs2::Close, s).u32(0)},
            {Packet(Efs2::DelTree, s).u16(3).text("/dir"), Packet(Efs2::DelTree, s).u16(3).u32(0)},
            {Packet(Efs2::DelTree, s).u16(4).text("/dir"), Packet(Efs2::DelTree, s).u16(4).u32(kNoEntry)},
        };
        // clang-format on
        for (const auto& [request, expected] : session) {
            EXPECT_EQ(send(request), expected) << "command " << int(request[2]);
        }
    }
}

TEST_F(HandsetTest, ListsLinksAndItemsWithTheirOwnTypes)
{
    handset->edit([](FileSystem& fs) {
        fs.addLink(u"/types/link", u"../a.txt", 11);
        fs.addItem(u"/types/item", bytesOf("ab"), 0600, 12);
        fs.addDirectory(u"/types/sub", 0700, 13);
    });
    EXPECT_EQ(field32(send(Packet(Efs2::OpenDir).text("/types")), 4), 1u);
    // Type, mode and size of entries 1 to 3, by name: item, link, sub.
    const std::uint32_t expected[][3] = {
        {0, 0xE000 | 0600, 2}, {2, 0xA000 | 0777, 8}, {1, 0x4000 | 0700, 0}};
    for (std::uint32_t n = 1; n <= 3; ++n) {
        const Bytes entry = send(Packet(Efs2::ReadDir).u32(1).u32(n));
        EXPECT_EQ(field32(entry, 16), expected[n - 1][0]) << n;
        EXPECT_EQ(field32(entry, 20), expected[n - 1][1]) << n;
        EXPECT_EQ(field32(entry, 24), expected[n - 1][2]) << n;
    }
    send(Packet(Efs2::CloseDir).u32(1));
}

TEST_F(HandsetTest, FullTablesAnswerEMFILE)
{
    Limits limits;
    limits.maxOpenFiles = 2;
    limits.maxOpenDirectories = 1;
    handset = std::make_shared<Handset>(seeded(limits));
    EXPECT_EQ(openFile("/a.txt", 0), 0u);
    EXPECT_EQ(openFile("/a.txt", 0), 1u);
    const Bytes refused = send(Packet(Efs2::Open).u32(0).u32(0).text("/a.txt"));
    EXPECT_EQ(refused, Bytes(Packet(Efs2::Open).u32(0xFFFFFFFF).u32(kTooManyOpen)));
    closeFile(0);
    EXPECT_EQ(openFile("/a.txt", 0), 0u); // the lowest free descriptor again
    closeFile(0);
    closeFile(1);

    EXPECT_EQ(send(Packet(Efs2::OpenDir).text("/")), Bytes(Packet(Efs2::OpenDir).u32(1).u32(0)));
    EXPECT_EQ(send(Packet(Efs2::OpenDir).text("/dir")),
              Bytes(Packet(Efs2::OpenDir).u32(0).u32(kTooManyOpen)));
    EXPECT_EQ(handset->openDirectories(), 1u);
    EXPECT_EQ(field32(send(Packet(Efs2::CloseDir).u32(1)), 4), 0u);
    EXPECT_EQ(field32(send(Packet(Efs2::CloseDir).u32(1)), 4), kBadDescriptor);
}

TEST_F(HandsetTest, OpenFlagsFollowPosix)
{
    struct Case {
        std::uint32_t flags;
        std::uint32_t readError;  // READ of the whole file
        std::uint32_t writeError; // WRITE of "J!" at offset 0
        std::string content;      // afterwards
    };
    const Case cases[] = {
        {0x000, kSuccess, kBadDescriptor, "hello"}, // O_RDONLY
        {0x001, kBadDescriptor, kSuccess, "J!llo"}, // O_WRONLY
        {0x002, kSuccess, kSuccess, "J!llo"},       // O_RDWR
        {0x241, kBadDescriptor, kSuccess, "J!"},    // O_WRONLY | O_CREAT | O_TRUNC
        {0x442, kSuccess, kSuccess, "helloJ!"},     // O_RDWR | O_APPEND
        {0x040, kSuccess, kBadDescriptor, "hello"}, // O_CREAT on an existing file
        {0x200, kSuccess, kBadDescriptor, ""},      // O_TRUNC
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        handset->writeFile(u"/f", bytesOf("hello"));
        const std::uint32_t fd = openFile("/f", c.flags);
        EXPECT_EQ(field32(send(Packet(Efs2::Read).u32(fd).u32(512).u32(0)), 16), c.readError);
        EXPECT_EQ(field32(send(Packet(Efs2::Write).u32(fd).u32(0).raw("J!")), 16), c.writeError);
        closeFile(fd);
        Bytes content;
        EXPECT_EQ(handset->readFile(u"/f", content), kSuccess);
        EXPECT_EQ(content, bytesOf(c.content));
    }
    // O_CREAT makes a file with the mode asked for; O_EXCL insists that it is new.
    closeFile(openFile("/new", 0xC1));
    Attributes made;
    EXPECT_EQ(handset->stat(u"/new", made), kSuccess);
    EXPECT_EQ(made.mode, kFile644);
    EXPECT_EQ(field32(send(Packet(Efs2::Open).u32(0xC1).u32(0644).text("/new")), 8), kExists);
}

TEST_F(HandsetTest, TransfersAboveFiveHundredTwelveAndShortAtTheEnd)
{
    Limits limits;
    limits.maxTransfer = 2048;
    limits.maxFileSize = 3500;
    limits.capacity = 3100; // all files together
    handset = std::make_shared<Handset>(seeded(limits));
    const std::uint32_t fd = openFile("/big", 0x242);
    const std::string data(3000, 'Z');
    EXPECT_EQ(send(Packet(Efs2::Write).u32(fd).u32(0).raw(data.substr(0, 1024))),
              Bytes(Packet(Efs2::Write).u32(fd).u32(0).u32(1024).u32(0)));
    EXPECT_EQ(field32(send(Packet(Efs2::Write).u32(fd).u32(1024).raw(data.substr(1024))), 12),
              1976u);
    // Count asked, offset: bytes delivered.
    const std::uint32_t reads[][3] = {{1024, 0, 1024}, {1024, 2048, 952}, {4096, 0, 2048},
                                      {10, 3000, 0},   {10, 9000, 0},     {0, 0, 0}};
    for (const auto& [count, offset, delivered] : reads) {
        const Bytes response = send(Packet(Efs2::Read).u32(fd).u32(count).u32(offset));
        EXPECT_EQ(response.size(), 20u + delivered) << count << " at " << offset;
        EXPECT_EQ(field32(response, 12), delivered);
    }
    EXPECT_EQ(field32(send(Packet(Efs2::Read).u32(fd).u32(1).u32(0x80000000)), 16),
              kInvalidArgument);
    // A write past the end leaves zeros in the gap.
    send(Packet(Efs2::Write).u32(fd).u32(3002).raw("!"));
    const Bytes tail = send(Packet(Efs2::Read).u32(fd).u32(8).u32(2999));
    EXPECT_EQ(Bytes(tail.begin() + 20, tail.end()), (Bytes{'Z', 0, 0, '!'}));
    EXPECT_EQ(field32(send(Packet(Efs2::Write).u32(fd).u32(3499).raw("!!")), 16), kFileTooBig);
    EXPECT_EQ(field32(send(Packet(Efs2::Write).u32(fd).u32(3003).raw(data.substr(0, 90))), 16),
              kNoSpace);
    closeFile(fd);
}

TEST_F(HandsetTest, ListsDirectoriesFromOneToTheEmptyName)
{
    handset->edit([](FileSystem& fs) {
        fs.addFile(u"/list/c", {}, 0600);
        fs.addDirectory(u"/list/a", 0700);
        fs.addFile(u"/list/b", {}, 0644);
    });
    const auto readDir = [&](std::uint32_t seqno) {
        return send(Packet(Efs2::ReadDir).u32(1).u32(seqno));
    };
    const auto nameOf = [](const Bytes& r) { return std::string(r.begin() + 40, r.end() - 1); };
    EXPECT_EQ(field32(send(Packet(Efs2::OpenDir).text("/list/")), 4), 1u);
    EXPECT_EQ(nameOf(readDir(3)), "c");
    EXPECT_EQ(nameOf(readDir(1)), "a"); // any entry, in any order
    const Bytes end = readDir(10);
    EXPECT_EQ(end.size(), 41u);
    EXPECT_EQ(field32(end, 8), 10u); // the number asked for comes back
    EXPECT_EQ(field32(readDir(0), 12), kInvalidArgument);
    // An entry removed since OPENDIR is passed over, and the response says so.
    EXPECT_EQ(field32(send(Packet(Efs2::Unlink).text("/list/b").u8(0)), 4), 0u);
    const Bytes next = readDir(2);
    EXPECT_EQ(nameOf(next), "c");
    EXPECT_EQ(field32(next, 8), 3u);
    send(Packet(Efs2::CloseDir).u32(1));

    // "", "/" and relative names all start at the root: a.txt, dir, ...
    for (const char* root : {"", "/", "//", "dir/.."}) {
        EXPECT_EQ(field32(send(Packet(Efs2::OpenDir).text(root)), 4), 1u);
        EXPECT_EQ(nameOf(readDir(2)), "dir") << root;
        send(Packet(Efs2::CloseDir).u32(1));
    }
}

TEST_F(HandsetTest, RefusesWhatItCannotParseWithTheRequestEchoed)
{
    // 0x13 "bad command": no handler for the command, subsystem or
    // subcommand; 0x15 "bad length": a known command of the wrong size.
    const std::pair<std::uint8_t, Bytes> cases[] = {
        {0x13, {75, 19, 2}},
        {0x13, Packet(Efs2::Close, 20).u32(0)}, // a foreign subsystem
        {0x13, {0x4C, 62, 3, 0, 0, 0, 0, 0}},   // not a subsystem dispatch
        {0x13, Packet(26, 62)},                 // an unknown command
        {0x13, Packet(Efs2::StatVfsV2).u16(1).text("/")},
        {0x13, Packet(Efs2::ErrorResponse)},
        {0x15, {}},
        {0x15, Packet(Efs2::Close).u32(0).u8(0)},
        {0x15, Packet(Efs2::Close).u16(0)},
        {0x15, Packet(Efs2::Read).u32(0).u32(0).u16(0)},
        {0x15, Packet(Efs2::ReadDir, 62).u32(1).u32(1).u8(0)},
        {0x15, Packet(Efs2::Query).u8(0)},
        {0x15, Packet(Efs2::Hello).u32(0)},
        {0x15, Packet(Efs2::Write).u32(0).u16(0)},
        {0x15, Packet(Efs2::Open).u32(0).u32(0)},
        {0x15, Packet(Efs2::Open).u32(0).u32(0).raw("/a.txt")}, // no NUL
        {0x15, Packet(Efs2::MkDir).u16(0)},
        {0x15, Packet(Efs2::Rename).text("/a.txt").raw("/b")},
        {0x15, Packet(Efs2::LStat)},
    };
    for (const auto& [code, request] : cases) {
        Bytes expected{code};
        expected.insert(expected.end(), request.begin(), request.end());
        EXPECT_EQ(send(request), expected) << ::testing::PrintToString(request);
    }
    // The echo of a request longer than any the handset takes stops at its limit.
    const Bytes huge = Packet(Efs2::Write).u32(0).u32(0).zeros(Handset::kMaxRequest);
    const Bytes refused = send(huge);
    EXPECT_EQ(refused.size(), Handset::kMaxRequest + 1);
    EXPECT_EQ(refused[0], 0x15);
}

TEST_F(HandsetTest, FaultsChangeOrReplaceTheResponse)
{
    const std::uint32_t fd = openFile("/a.txt", 0);
    const Bytes read = Packet(Efs2::Read).u32(fd).u32(5).u32(0);
    const Bytes normal = send(read);
    struct Case {
        Fault fault;
        Bytes expected;
    };
    const Case cases[] = {
        {Fault::staleOffset(),
         Packet(Efs2::Read).u32(fd).u32(0xFFFFFE00).u32(5).u32(0).raw("hello")},
        {Fault::foreignDescriptor(),
         Packet(Efs2::Read).u32(fd + 1).u32(0).u32(5).u32(0).raw("hello")},
        {Fault::truncatedResponse(19), Bytes(normal.begin(), normal.begin() + 19)},
        {Fault::oversizedResponse(3),
         Packet(Efs2::Read).u32(fd).u32(0).u32(5).u32(0).raw("hello").u16(0).u8(0)},
        {Fault::errorResponse(kNoEntry), {75, 19, 28, 0, 2, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        handset->queueFault(c.fault.on(Efs2::Read));
        EXPECT_EQ(exchange(Packet(Efs2::Close).u32(99)).response.size(), 8u); // not its command
        const Exchanged damaged = exchange(read);
        EXPECT_EQ(damaged.response, c.expected) << int(c.fault.kind);
        EXPECT_FALSE(damaged.portFault);
        EXPECT_EQ(handset->pendingFaults(), 0u);
    }
    EXPECT_EQ(exchange(read).response, normal);

    // A directory handle is foreign in READDIR too; a fault the response has
    // no field for is spent without a change.
    handset->queueFault(Fault::foreignDescriptor(5));
    handset->queueFault(Fault::staleOffset());
    EXPECT_EQ(exchange(Packet(Efs2::ReadDir).u32(2).u32(1)).response,
              Bytes(Packet(Efs2::ReadDir).u32(7).u32(1).u32(kBadDescriptor).zeros(24).text("")));
    EXPECT_EQ(exchange(Packet(Efs2::Close).u32(fd)).response, Bytes(Packet(Efs2::Close).u32(0)));

    // Faults that stand in for the response keep the request from the handset.
    for (Fault fault : {Fault::errorResponse(5), Fault::portFailure(E_FAIL), Fault::exception(),
                        Fault::noAnswer()}) {
        handset->queueFault(fault);
        const Exchanged replaced = exchange(Packet(Efs2::MkDir).u16(0755).text("/made"));
        EXPECT_EQ(replaced.portFault.has_value(), fault.isPortFault());
    }
    Attributes made;
    EXPECT_EQ(handset->stat(u"/made", made), kNoEntry);
    handset->queueFault(Fault::latency(1));
    EXPECT_EQ(exchange(Packet(Efs2::MkDir).u16(0755).text("/made")).portFault->kind,
              Fault::Kind::Latency);
    EXPECT_EQ(handset->stat(u"/made", made), kSuccess); // late, but carried out
    handset->queueFault(Fault::noAnswer());
    handset->clearFaults();
    EXPECT_EQ(handset->pendingFaults(), 0u);
}
