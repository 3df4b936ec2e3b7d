// What restore must never do, whatever the archive or the port: write
// outside its destination, leave a half-written file under a real name, or
// change anything for an archive that is cut short.
#include "BackupHandset.h"

#include "diag/Efs2.h"

#include <archive.h>
#include <archive_entry.h>
#include <gmock/gmock.h>

#include <fstream>
#include <locale.h>

namespace {

using namespace BackupTest;
using ::testing::HasSubstr;
namespace Efs2 = Diag::Efs2;

// One entry of an archive made by hand, as anything may make it.
struct RawEntry {
    std::string path;
    unsigned type = AE_IFREG;
    std::string data;
    std::string link;     // a symbolic link's target
    std::string hardLink; // a hard link's target
    std::vector<std::pair<std::string, std::string>> attributes;
};

RawEntry file(std::string path, std::string data = "x",
              std::vector<std::pair<std::string, std::string>> attributes = {})
{
    RawEntry entry;
    entry.path = std::move(path);
    entry.data = std::move(data);
    entry.attributes = std::move(attributes);
    return entry;
}

RawEntry special(std::string path, unsigned type, std::string link = {}, std::string hardLink = {})
{
    RawEntry entry;
    entry.path = std::move(path);
    entry.type = type;
    entry.link = std::move(link);
    entry.hardLink = std::move(hardLink);
    return entry;
}

void writeArchive(const std::filesystem::path& file, const std::vector<RawEntry>& entries)
{
    // libarchive reads and writes names through the thread's locale.
    const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    const locale_t previous = ::uselocale(utf8);
    struct archive* writer = archive_write_new();
    archive_write_set_format_pax_restricted(writer);
    ASSERT_EQ(archive_write_open_filename(writer, file.c_str()), ARCHIVE_OK);
    for (const RawEntry& raw : entries) {
        struct archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, raw.path.c_str());
        archive_entry_set_filetype(entry, raw.type);
        archive_entry_set_perm(entry, raw.type == AE_IFDIR ? 0755 : 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(raw.data.size()));
        if (!raw.link.empty()) {
            archive_entry_set_symlink_utf8(entry, raw.link.c_str());
        }
        if (!raw.hardLink.empty()) {
            archive_entry_set_hardlink_utf8(entry, raw.hardLink.c_str());
        }
        for (const auto& [name, value] : raw.attributes) {
            archive_entry_xattr_add_entry(entry, name.c_str(), value.data(), value.size());
        }
        ASSERT_GE(archive_write_header(writer, entry), ARCHIVE_WARN) << raw.path;
        archive_write_data(writer, raw.data.data(), raw.data.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    ::uselocale(previous);
    ::freelocale(utf8);
}

// Everything of `handset` outside `directory`.
std::map<std::string, std::string> outside(Emulator::Handset& handset, const std::string& directory)
{
    std::map<std::string, std::string> rest = contentsOf(handset);
    std::erase_if(rest, [&](const auto& entry) {
        return entry.first == directory || entry.first.starts_with(directory + "/");
    });
    return rest;
}

class RestoreSafety : public Fixture {};

TEST_F(RestoreSafety, HostileEntriesAreRefusedOneByOneAndNothingOutsideChanges)
{
    addFile(handset, u"/outside/keep.txt", "keep");
    handset->edit([](Emulator::FileSystem& fs) {
        fs.addDirectory(u"/dest");
        fs.addLink(u"/dest/trap", u"/outside");
    });
    const std::string longName(800, 'n'); // the emulated handset takes 768 bytes a name
    writeArchive(archive,
                 {
                     file("ok.txt", "fine"),
                     file("/absolute.txt"),
                     file("../up.txt"),
                     file("dir/../../up.txt"),
                     special("evil", AE_IFLNK, "/outside"),
                     file("evil/planted.txt"),
                     file("trap/planted.txt"),
                     special("hard", AE_IFREG, "", "ok.txt"),
                     special("device", AE_IFCHR),
                     file(longName),
                     file("mismatch", "x", {{"vornak.path", "../elsewhere"}}),
                     file("item", std::string(2000, 'i'), {{"vornak.kind", "item"}}),
                 });
    const auto before = outside(*handset, "/dest");
    const auto restored = restore(handset, "/dest");
    EXPECT_EQ(restored.exitCode, 1);
    for (const std::string& says : std::vector<std::string>{
             "refused /absolute.txt: an absolute name\n",
             "refused ../up.txt: a name that leads up with \"..\"\n",
             "refused dir/../../up.txt: a name that leads up with \"..\"\n",
             "refused evil/planted.txt: it would be written through /dest/evil, which the "
             "backup makes a link\n",
             "refused trap/planted.txt: it would be written through /dest/trap, a link on the "
             "handset\n",
             "refused hard: a hard link, which a handset cannot hold\n",
             "refused device: a character device, which a handset cannot hold\n",
             "could not restore /dest/" + longName + ": File name too long (device error 36)",
             "refused mismatch: handset bytes that do not match its name\n",
             "refused item: an item file of more than 1024 bytes\n",
             "the restore is INCOMPLETE: 9 entries refused, 1 name not restored\n",
         }) {
        EXPECT_THAT(restored.err, HasSubstr(says));
    }
    EXPECT_EQ(outside(*handset, "/dest"), before);
    const auto inside = contentsOf(*handset);
    EXPECT_EQ(inside.at("/dest/ok.txt"), "100644 fine");
    EXPECT_EQ(inside.at("/dest/evil"), "120777 -> /outside"); // a link harms nothing by itself
    for (const auto& [path, contents] : inside) {
        EXPECT_FALSE(path.starts_with("/dest/.vornak-")) << path;
    }
}

TEST_F(RestoreSafety, AnArchiveCutShortChangesNothing)
{
    for (int i = 0; i < 3; ++i) {
        addFile(handset, u"/f" + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                std::string(1000 + static_cast<std::size_t>(i), 'a'));
    }
    ASSERT_EQ(backup(handset).exitCode, 0);
    std::string whole(std::filesystem::file_size(archive), '\0');
    std::ifstream(archive, std::ios::binary).read(whole.data(),
                                                  static_cast<std::streamsize>(whole.size()));
    const std::size_t entryEnd = whole.find(std::string(1001, 'a')) + 1024; // f1 padded to blocks
    const auto before = contentsOf(*other);
    for (const std::size_t length : {std::size_t{0}, std::size_t{100}, std::size_t{512},
                                     whole.size() / 2, entryEnd, whole.size() - 512,
                                     whole.size() - 1}) {
        std::ofstream(archive, std::ios::binary | std::ios::trunc) << whole.substr(0, length);
        for (const bool dryRun : {true, false}) {
            const auto restored = restore(other, "/", dryRun);
            EXPECT_EQ(restored.exitCode, VornakEfs::kHostFailure) << length;
            EXPECT_THAT(restored.err, HasSubstr("; nothing was changed\n")) << length;
        }
        EXPECT_EQ(diff(other).exitCode, VornakEfs::kHostFailure);
        EXPECT_EQ(contentsOf(*other), before) << length;
    }
}

// The port fails during a restore at one request or another: every real
// name holds what it held or what the backup holds, never a part.
TEST_F(RestoreSafety, AnInterruptedRestoreLeavesNoHalfWrittenFileUnderARealName)
{
    const std::string fresh(5000, 'n');
    addFile(handset, u"/f/big.bin", fresh);
    addFile(handset, u"/f/small.txt", "new");
    ASSERT_EQ(backup(handset).exitCode, 0);

    const struct {
        const char* what;
        std::uint16_t command;
        int skip;    // requests of the command that pass before it fails
        bool stays;  // the port stays dead afterwards
    } cases[] = {
        {"first write", Efs2::Write, 0, false},
        {"fifth write", Efs2::Write, 4, false},
        {"last write", Efs2::Write, 9, false},
        {"close", Efs2::Close, 0, false},
        {"rename", Efs2::Rename, 0, false},
        {"a write, for good", Efs2::Write, 4, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        other = newHandset();
        addFile(other, u"/f/big.bin", std::string(3000, 'o'));
        addFile(other, u"/f/small.txt", "old");
        for (int i = 0; i < c.skip; ++i) {
            other->queueFault(Emulator::Fault::latency(0).on(c.command));
        }
        const HRESULT broken = static_cast<HRESULT>(0x8007001Fu);
        other->queueFault(Emulator::Fault::portFailure(broken).on(c.command));
        for (int i = 0; c.stays && i < 100; ++i) {
            for (const std::uint16_t command : {Efs2::Write, Efs2::Unlink}) {
                other->queueFault(Emulator::Fault::portFailure(broken).on(command));
            }
        }
        const auto restored = restore(other);
        EXPECT_EQ(restored.exitCode, VornakEfs::kPortFailure) << restored.err;
        EXPECT_THAT(restored.err, HasSubstr("could not restore /f/big.bin: "));
        other->clearFaults();
        bool leftTemporary = false;
        for (const auto& [path, contents] : contentsOf(*other)) {
            if (path.starts_with("/f/.vornak-")) {
                leftTemporary = true;
                continue;
            }
            if (path == "/f/big.bin") {
                EXPECT_TRUE(contents == "100644 " + std::string(3000, 'o') ||
                            contents == "100644 " + fresh);
            } else if (path == "/f/small.txt") {
                EXPECT_TRUE(contents == "100644 old" || contents == "100644 new");
            } else {
                EXPECT_TRUE(path == "/" || path == "/f") << path;
            }
        }
        // A temporary name stays only where the handset could not be told to
        // remove it, and restore says so.
        EXPECT_EQ(leftTemporary, c.stays);
        EXPECT_EQ(restored.err.find("a partial copy may be left as /f/.vornak-") !=
                      std::string::npos,
                  c.stays);
        // Restored again, all is as in the backup, and --delete takes away
        // what the interrupted restore could not.
        EXPECT_EQ(restore(other, "/", false, true).exitCode, 0);
        EXPECT_EQ(diff(other).out, "");
    }
}

} // namespace
