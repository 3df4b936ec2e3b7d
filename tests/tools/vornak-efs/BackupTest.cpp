// backup, restore and diff on emulated handsets: the round trip, what the
// archive holds, the requests a backup sends, names the backup cannot
// read, and what diff and restore say of changes.
#include "BackupHandset.h"

#include "diag/Efs2.h"
#include "tools/vornak-efs/Archive.h"
#include "tools/vornak-efs/ArchiveNames.h"

#include <gmock/gmock.h>

#include <fstream>

namespace {

using namespace BackupTest;
using ::testing::HasSubstr;
using ::testing::Not;
namespace Efs2 = Diag::Efs2;

std::vector<std::uint8_t> bytesOf(std::size_t size, unsigned seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 131 + seed * 7 + i / 97) & 0xFF);
    }
    return bytes;
}

// A handset with every kind of name, the awkward ones among them: empty and
// read-only directories, files around the packet size, names outside the
// code page, names that hold references or read as another's, links with
// absolute, relative and dangling targets, and item files.
void fill(Emulator::Handset& handset)
{
    constexpr std::uint32_t kThen = 1'600'000'000;
    handset.edit([&](Emulator::FileSystem& fs) {
        fs.addDirectory(u"/data", 0750, kThen);
        fs.addDirectory(u"/data/empty", 0700, kThen);
        fs.addDirectory(u"/data/locked", 0555, kThen);
        fs.addFile(u"/data/locked/inside.bin", bytesOf(700, 1), 0644, kThen);
        for (const std::size_t size : {0u, 1u, 511u, 512u, 513u, 1024u, 70000u}) {
            const std::string digits = std::to_string(size);
            fs.addFile(u"/data/size" + std::u16string(digits.begin(), digits.end()),
                       bytesOf(size, static_cast<unsigned>(size)), 0600,
                       kThen + static_cast<std::uint32_t>(size));
        }
        fs.addFile(u"/data/readonly.txt", bytesOf(40, 9), 0444, kThen);
        fs.addFile(u"/names/\u263A smile.txt", bytesOf(10, 2), 0644, kThen); // "&#x263A; smile.txt"
        fs.addFile(u"/names/&#x41;", bytesOf(11, 3), 0644, kThen);           // reads as "A" ...
        fs.addFile(u"/names/A", bytesOf(12, 4), 0644, kThen);                // ... as does this
        fs.addFile(u"/names/a&#x2F;b", bytesOf(13, 5), 0644, kThen);         // reads with a "/"
        fs.addFile(u"/names/\u0081\u20AC", bytesOf(14, 6), 0644, kThen);    // bytes 81 80
        fs.addFile(u"/names/&#xD800;", bytesOf(15, 7), 0644, kThen);         // a lone surrogate
        fs.addFile(u"/names/tab\there", bytesOf(16, 8), 0644, kThen);
        fs.addLink(u"/links/absolute", u"/data/size1", kThen);
        fs.addLink(u"/links/relative", u"../data/size512", kThen);
        fs.addLink(u"/links/dangling", u"/nowhere/&#x41;", kThen);
        fs.addItem(u"/nv/item_files/mode", bytesOf(4, 10), 0644, kThen);
        fs.addItem(u"/nv/item_files/full", bytesOf(Efs2::kMaxItemData, 11), 0600, kThen);
        fs.addItem(u"/nv/item_files/empty", {}, 0644, kThen);
    });
}

// What a backup of the whole handset needs at least: LSTAT of the root;
// per directory OPENDIR, a READDIR per entry and one more, CLOSEDIR; per
// file OPEN, the READs up to the first short one, CLOSE; per link
// READLINK; per item file GET.
std::uint64_t minimumRequests(Emulator::Handset& handset)
{
    return handset.edit([](Emulator::FileSystem& fs) {
        std::uint64_t requests = 1;
        const std::function<void(const Emulator::Node&)> count = [&](const Emulator::Node& node) {
            if (node.isDirectory()) {
                requests += 3 + node.entries.size();
                for (const auto& entry : node.entries) {
                    count(*entry.second);
                }
            } else if (node.isSymbolicLink() || node.isItemFile()) {
                requests += 1;
            } else {
                requests += 2 + node.data().size() / Efs2::kMaxData + 1;
            }
        };
        count(*fs.root());
        return requests;
    });
}

class Backup : public Fixture {};

TEST_F(Backup, RoundTripGivesTheSameHandsetBack)
{
    fill(*handset);
    const auto saved = backup(handset);
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_THAT(saved.err, HasSubstr("backed up 16 files, 8 directories, 3 links and 3 item files"));

    // The protocol's minimum, and nothing that asks for a size or mode again.
    const auto counts = handset->requestCounts();
    EXPECT_EQ(counts.all, minimumRequests(*handset));
    EXPECT_EQ(counts.of(Efs2::Stat) + counts.of(Efs2::FStat), 0u);

    const auto restored = restore(other);
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_THAT(restored.err, HasSubstr("modification times are not restored"));
    EXPECT_EQ(contentsOf(*other), contentsOf(*handset));

    const auto compared = diff(other);
    EXPECT_EQ(compared.exitCode, 0) << compared.out << compared.err;
    EXPECT_EQ(compared.out, "");

    // A second restore finds everything in place and writes nothing.
    const auto again = restore(other);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_THAT(again.err, HasSubstr("restored 0 files, 0 directories, 0 links and 0 item files"));
}

TEST_F(Backup, ModificationTimesAreTheHandsetsOwnAfterARestore)
{
    addFile(handset, u"/old.txt", "old");
    ASSERT_EQ(backup(handset).exitCode, 0);
    ASSERT_EQ(restore(other).exitCode, 0);
    other->edit([](Emulator::FileSystem& fs) {
        Emulator::NodePtr node;
        ASSERT_EQ(fs.lookup("/old.txt", node), 0u);
        EXPECT_EQ(node->modificationTime, kHandsetNow);
    });
}

TEST_F(Backup, ArchiveShowsReadableNamesAndKeepsTheHandsetsBytes)
{
    fill(*handset);
    ASSERT_EQ(backup(handset, {"/names", "/nv", "/links"}).exitCode, 0);
    std::map<std::string, std::pair<std::string, VornakEfs::ArchiveEntry::Kind>> shown;
    VornakEfs::ArchiveReader reader(archive, {});
    for (auto next = reader.next(); !next.end; next = reader.next()) {
        ASSERT_EQ(next.refusal, "") << next.shownPath;
        shown[next.entry.handsetPath] = {next.entry.path, next.entry.kind};
        if (next.entry.kind == VornakEfs::ArchiveEntry::Kind::Link &&
            next.entry.handsetPath == "links/dangling") {
            EXPECT_EQ(next.entry.linkTarget, "/nowhere/A");
            EXPECT_EQ(next.entry.handsetLinkTarget, "/nowhere/&#x41;");
        }
    }
    using Kind = VornakEfs::ArchiveEntry::Kind;
    const std::map<std::string, std::pair<std::string, Kind>> expected = {
        {"names", {"names", Kind::Directory}},
        {"names/&#x263A; smile.txt", {"names/\u263A smile.txt", Kind::File}},
        {"names/&#x41;", {"names/A", Kind::File}},
        {"names/A", {"names/A", Kind::File}},
        {"names/a&#x2F;b", {"names/a&#x2F;b", Kind::File}},
        {"names/\x81\x80", {"names/\u0081\u20AC", Kind::File}},
        {"names/&#xD800;", {"names/&#xD800;", Kind::File}},
        {"names/tab\there", {"names/tab\there", Kind::File}},
        {"nv", {"nv", Kind::Directory}},
        {"nv/item_files", {"nv/item_files", Kind::Directory}},
        {"nv/item_files/empty", {"nv/item_files/empty", Kind::Item}},
        {"nv/item_files/full", {"nv/item_files/full", Kind::Item}},
        {"nv/item_files/mode", {"nv/item_files/mode", Kind::Item}},
        {"links", {"links", Kind::Directory}},
        {"links/absolute", {"links/absolute", Kind::Link}},
        {"links/dangling", {"links/dangling", Kind::Link}},
        {"links/relative", {"links/relative", Kind::Link}},
    };
    EXPECT_EQ(shown, expected);
}

TEST(ArchiveNames, ReadableFormsOfHandsetNames)
{
    using VornakEfs::ArchiveNames::readableName;
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"plain.txt", "plain.txt"},
        {"caf\xE9", "caf\u00E9"},
        {"&#x263A;", "\u263A"},
        {"&#x41;", "A"},                   // not one-to-one: its bytes travel beside it
        {"a&#x2F;b", "a&#x2F;b"},          // no "/" inside one name: the bytes as they are
        {"&#x2E;&#x2E;", "&#x2E;&#x2E;"},  // nor ".." by another spelling
        {"&#x0;x", "&#x0;x"},              // nor a NUL
        {"&#xDC00;", "&#xDC00;"},          // nor a lone surrogate
        {"\x81", "\u0081"},
        {"", std::nullopt},
        {".", std::nullopt},
        {"..", std::nullopt},
        {"a/b", std::nullopt},
        {std::string("a\0b", 3), std::nullopt},
    };
    for (const auto& [bytes, readable] : cases) {
        EXPECT_EQ(readableName(bytes), readable) << bytes;
    }
    EXPECT_EQ(VornakEfs::ArchiveNames::readablePath("a/&#x41;/c"), "a/A/c");
    EXPECT_EQ(VornakEfs::ArchiveNames::readablePath("a//c"), std::nullopt);
    EXPECT_EQ(VornakEfs::ArchiveNames::readablePath("a/"), std::nullopt);
}

TEST_F(Backup, NamesItCannotReadAreReportedLeftOutAndSparedByRestore)
{
    addFile(handset, u"/a/denied.bin", "secret");
    addFile(handset, u"/b/slow.bin", std::string(3000, 's'));
    addFile(handset, u"/c/fine.txt", "fine");
    addFile(handset, u"/c/z.txt", "last");
    // The first OPEN (of a/denied.bin) is refused; the first READ (of
    // b/slow.bin) gets no answer in time.
    handset->queueFault(Emulator::Fault::errorResponse(Efs2::kAccessDenied).on(Efs2::Open));
    handset->queueFault(Emulator::Fault::noAnswer().on(Efs2::Read));
    const auto saved = backup(handset);
    EXPECT_NE(saved.exitCode, 0);
    EXPECT_THAT(saved.err, HasSubstr("the backup is INCOMPLETE; 2 names are missing from it:\n"
                                     "  a/denied.bin: "));
    EXPECT_THAT(saved.err, HasSubstr("  b/slow.bin: The handset did not answer within 100 ms"));
    ASSERT_TRUE(std::filesystem::exists(archive));

    // The rest is there; restore leaves what the backup could not read alone,
    // even with --delete, and diff says it was not read.
    EXPECT_EQ(restore(other).exitCode, 0);
    auto restored = contentsOf(*other);
    EXPECT_EQ(restored.count("/c/fine.txt"), 1u);
    EXPECT_EQ(restored.count("/c/z.txt"), 1u);
    EXPECT_EQ(restored.count("/a/denied.bin"), 0u);
    EXPECT_EQ(restored.count("/b/slow.bin"), 0u);
    EXPECT_EQ(restored.count("/VORNAK-MISSING.txt"), 0u);

    const auto before = contentsOf(*handset);
    EXPECT_EQ(restore(handset, "/", false, true).exitCode, 0);
    EXPECT_EQ(contentsOf(*handset), before);
    const auto compared = diff(handset);
    EXPECT_EQ(compared.exitCode, 1);
    EXPECT_EQ(compared.out, "unread   /a/denied.bin\nunread   /b/slow.bin\n");
}

TEST_F(Backup, AHandsetThatStopsAnsweringEndsTheReadingButNotTheArchive)
{
    for (char c = 'a'; c <= 'f'; ++c) {
        addFile(handset, u"/" + std::u16string(1, static_cast<char16_t>(c)), std::string(1, c));
    }
    for (int i = 0; i < 3; ++i) {
        handset->queueFault(Emulator::Fault::noAnswer().on(Efs2::Open));
    }
    const auto saved = backup(handset);
    EXPECT_EQ(saved.exitCode, VornakEfs::kPortFailure);
    EXPECT_THAT(saved.err, HasSubstr("6 names are missing"));
    EXPECT_THAT(saved.err, HasSubstr("  d: not read: the handset stopped answering\n"));
    // Only three requests went unanswered: the rest were never sent.
    EXPECT_EQ(handset->requestCounts().of(Efs2::Open), 0u);
}

TEST_F(Backup, VerifyComparesEachFileWithTheHandsetsDigest)
{
    fill(*handset);
    const auto saved = backup(handset, {"/data"}, true);
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_THAT(saved.err, HasSubstr("9 files verified against the handset's MD5 digests"));
    EXPECT_EQ(handset->requestCounts().of(Efs2::Md5Sum), 9u);
}

TEST_F(Backup, DiffSaysWhatChangedOneLineEach)
{
    fill(*handset);
    ASSERT_EQ(backup(handset, {"/data", "/links", "/nv"}).exitCode, 0);
    EXPECT_EQ(diff(handset).out, "");
    handset->edit([](Emulator::FileSystem& fs) {
        Emulator::NodePtr node;
        fs.lookup("/data/readonly.txt", node);
        std::vector<std::uint8_t> bytes = node->data();
        bytes[0] ^= 1; // the same size, other bytes
        fs.replace(*node, bytes);
        fs.addFile(u"/data/size1", bytesOf(2, 1), 0600); // another size
        fs.changeMode("/data/empty", 0755);
        fs.unlink("/links/relative");
        fs.addLink(u"/links/relative", u"elsewhere");
        fs.unlink("/data/size0");
        fs.addDirectory(u"/data/size0");
        fs.addFile(u"/data/new.txt", bytesOf(3, 1));
        fs.removeTree("/data/locked");
        fs.addItem(u"/nv/item_files/mode", bytesOf(4, 99), 0644);
    });
    const auto compared = diff(handset);
    EXPECT_EQ(compared.exitCode, 1);
    EXPECT_EQ(compared.out, "mode     /data/empty  0700 -> 0755\n"
                            "removed  /data/locked\n"
                            "removed  /data/locked/inside.bin\n"
                            "added    /data/new.txt\n"
                            "content  /data/readonly.txt\n"
                            "type     /data/size0  file -> directory\n"
                            "content  /data/size1\n"
                            "link     /links/relative  ../data/size512 -> elsewhere\n"
                            "content  /nv/item_files/mode\n");
}

TEST_F(Backup, DryRunSaysWhatRestoreWouldDoAndDeleteOnlyTouchesTheBackupsDirectories)
{
    fill(*handset);
    ASSERT_EQ(backup(handset, {"/data"}).exitCode, 0);
    handset->edit([](Emulator::FileSystem& fs) {
        fs.unlink("/data/size1");
        fs.changeMode("/data/readonly.txt", 0644);
        fs.addFile(u"/data/extra.txt", bytesOf(3, 1));
        fs.addDirectory(u"/data/empty/more");
    });
    addFile(handset, u"/elsewhere.txt", "not the backup's");
    const auto before = contentsOf(*handset);

    const auto planned = restore(handset, "/", true, true);
    EXPECT_EQ(planned.exitCode, 0) << planned.err;
    EXPECT_EQ(planned.out, "remove   /data/empty/more\n"
                           "remove   /data/extra.txt\n"
                           "chmod    /data/readonly.txt 0444\n"
                           "write    /data/size1\n");
    EXPECT_EQ(contentsOf(*handset), before);

    const auto kept = restore(handset);
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_THAT(kept.err, HasSubstr("kept 2 names the backup does not hold (--delete removes them)"));
    EXPECT_EQ(contentsOf(*handset).count("/data/extra.txt"), 1u);

    const auto removed = restore(handset, "/", false, true);
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    const auto after = contentsOf(*handset);
    EXPECT_EQ(after.count("/data/extra.txt"), 0u);
    EXPECT_EQ(after.count("/data/empty/more"), 0u);
    EXPECT_EQ(after.count("/elsewhere.txt"), 1u);
    EXPECT_EQ(diff(handset).out, "");
}

TEST_F(Backup, RestoresBelowAnotherDirectoryAndMakesWhatIsMissingAbove)
{
    fill(*handset);
    ASSERT_EQ(backup(handset, {"/nv/item_files"}).exitCode, 0);
    const auto restored = restore(other, "/copy/of");
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    const auto contents = contentsOf(*other);
    EXPECT_EQ(contents.at("/copy/of/nv/item_files/mode"),
              contentsOf(*handset).at("/nv/item_files/mode"));
    EXPECT_EQ(diff(other, "/copy/of").out, "");
}

} // namespace

namespace {

TEST_F(Backup, AnArchiveLeftUnfinishedNeverTakesTheTargetsName)
{
    std::ofstream(archive) << "the older backup";
    {
        VornakEfs::ArchiveWriter writer(archive);
        VornakEfs::ArchiveEntry entry;
        entry.path = entry.handsetPath = "half.bin";
        entry.size = 1000;
        writer.begin(entry);
        writer.write(bytesOf(10, 1).data(), 10);
        // A failure here unwinds the writer before commit().
    }
    std::vector<std::filesystem::path> left;
    for (const auto& file : std::filesystem::directory_iterator(host)) {
        left.push_back(file.path());
    }
    EXPECT_EQ(left, std::vector<std::filesystem::path>{archive});
    EXPECT_EQ(std::filesystem::file_size(archive), std::string("the older backup").size());
}

} // namespace
