// The file system seeded from a host directory and built in code, and the
// whole-file access by host path.
#include "support/Packet.h"

#include "diag/DeviceError.h"
#include "emulator/Handset.h"
#include "emulator/Seed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

using namespace Emulator;
using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

void writeHostFile(const fs::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A host directory that removes itself.
class HostDirectory {
public:
    HostDirectory()
        : path_(fs::temp_directory_path() /
                ("vornak-seed-" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count())))
    {
        fs::create_directories(path_);
    }
    ~HostDirectory()
    {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        }
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

} // namespace

TEST(Seed, CopiesAHostDirectory)
{
    HostDirectory host;
    const fs::path& root = host.path();
    fs::create_directories(root / "sub" / "deep");
    std::string binary;
    for (int i = 0; i < 256; ++i) {
        binary += static_cast<char>(i);
    }
    writeHostFile(root / "sub" / "data.bin", binary);
    writeHostFile(root / fs::path(u"caf\u00E9.txt"), "1252");
    writeHostFile(root / fs::path(u"\u263A.txt"), "smile");
    writeHostFile(root / "ro.txt", "fixed");
    fs::permissions(root / "ro.txt",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::uint32_t then = 1'234'567'890;
    fs::last_write_time(
        root / "sub" / "data.bin",
        std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(then))));

    FileSystem fileSystem;
    const SeedReport report = seedFromHost(fileSystem, root, u"/seed");
    EXPECT_EQ(report.files, 4u);
    EXPECT_EQ(report.directories, 2u);
    EXPECT_TRUE(report.skipped.empty());
    // Names as the handset stores them: Windows-1252, and references beyond it.
    NodePtr node;
    EXPECT_EQ(fileSystem.lookup("/seed/caf\xE9.txt", node), kSuccess);
    EXPECT_EQ(fileSystem.lookup("/seed/&#x263A;.txt", node), kSuccess);
    Handset handset(std::move(fileSystem));

    Attributes attributes;
    EXPECT_EQ(handset.stat(u"/seed/sub/data.bin", attributes), kSuccess);
    EXPECT_EQ(attributes.mode & (0xF000 | 0200), 0x8000u | 0200);
    EXPECT_EQ(attributes.modificationTime, then);
    EXPECT_EQ(handset.stat(u"/seed/ro.txt", attributes), kSuccess);
    EXPECT_EQ(attributes.mode & 0222, 0u);
    EXPECT_EQ(handset.stat(u"/seed/sub/deep", attributes), kSuccess);
    EXPECT_EQ(attributes.mode & 0xF000, 0x4000u);
    Bytes content;
    EXPECT_EQ(handset.readFile(u"/seed/sub/data.bin", content), kSuccess);
    EXPECT_EQ(content, bytesOf(binary));

    EXPECT_THROW(seedFromHost(fileSystem = FileSystem(), root / "missing"), fs::filesystem_error);
}

TEST(Seed, KeepsHostLinksAsLinks)
{
    HostDirectory host;
    fs::create_directories(host.path() / "data");
    writeHostFile(host.path() / "data" / "f", "bytes");
    try {
        fs::create_symlink("data/f", host.path() / "to-file");
        fs::create_directory_symlink("data", host.path() / "to-dir");
        fs::create_symlink("/nowhere/at/all", host.path() / "dangling");
    } catch (const fs::filesystem_error& e) {
        GTEST_SKIP() << "the host makes no symbolic links here: " << e.what();
    }

    FileSystem fileSystem;
    const SeedReport report = seedFromHost(fileSystem, host.path());
    EXPECT_EQ(report.links, 3u);
    EXPECT_EQ(report.files, 1u); // the file once, not again through its link
    EXPECT_TRUE(report.skipped.empty());
    std::string_view target;
    EXPECT_EQ(fileSystem.readLink("/to-dir", target), kSuccess);
    EXPECT_EQ(target, "data");
    EXPECT_EQ(fileSystem.readLink("/dangling", target), kSuccess);
    EXPECT_EQ(target, "/nowhere/at/all");
    NodePtr node;
    EXPECT_EQ(fileSystem.lookup("/to-dir/f", node), kSuccess);
    EXPECT_EQ(fileSystem.lookup("/to-file", node), kSuccess);
    EXPECT_EQ(node->data(), bytesOf("bytes"));
    EXPECT_EQ(fileSystem.lookup("/dangling", node), kNoEntry);
}

TEST(Seed, FilesBeyondTheLimitsAreLeftOut)
{
    HostDirectory host;
    writeHostFile(host.path() / "small", "ok");
    writeHostFile(host.path() / "large", std::string(100, 'x'));
    Limits limits;
    limits.maxFileSize = 64;
    FileSystem fileSystem(limits);
    const SeedReport report = seedFromHost(fileSystem, host.path());
    EXPECT_EQ(report.files, 1u);
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].filename(), "large");
}

TEST(FileSystem, BuildsInCodeAndRefusesWhatCannotBe)
{
    Limits limits;
    limits.maxFileSize = 16;
    limits.maxNameLength = 8;
    FileSystem fileSystem(limits, [] { return 77u; });
    fileSystem.addFile(u"/a/b/c", bytesOf("abc"), 0600, 5);
    fileSystem.addDirectory(u"/a/b", 0700, 9); // exists: unchanged
    EXPECT_THROW(fileSystem.addFile(u"/a/b/c/d", {}), std::invalid_argument);
    EXPECT_THROW(fileSystem.addDirectory(u"/a/b/c"), std::invalid_argument);
    EXPECT_THROW(fileSystem.addFile(u"/a", {}), std::invalid_argument);
    EXPECT_THROW(fileSystem.addFile(u"/", {}), std::invalid_argument);
    EXPECT_THROW(fileSystem.addFile(u"/ninechars", {}), std::invalid_argument);
    EXPECT_THROW(fileSystem.addFile(u"/x", Bytes(17)), std::length_error);
    EXPECT_THROW(fileSystem.addFile(u"/\xD800", {}), std::invalid_argument);
    EXPECT_EQ(fileSystem.storedBytes(), 3u);

    Handset handset(std::move(fileSystem));
    Attributes attributes;
    EXPECT_EQ(handset.stat(u"/a/b/c", attributes), kSuccess);
    EXPECT_EQ(attributes.mode, 0x8180u);
    // Three times that tell apart: made, modified at the time given, read.
    EXPECT_EQ(attributes.creationTime, 4u);
    EXPECT_EQ(attributes.modificationTime, 5u);
    EXPECT_EQ(attributes.accessTime, 6u);
    EXPECT_EQ(handset.stat(u"/a/b", attributes), kSuccess);
    EXPECT_EQ(attributes.mode, 0x41FFu); // made as a parent, before it was asked for
    EXPECT_EQ(attributes.modificationTime, 5u);

    // Whole files by host path.
    EXPECT_EQ(handset.writeFile(u"/\u263A", bytesOf("new")), kSuccess);
    NodePtr node;
    EXPECT_EQ(handset.edit([&](FileSystem& fs) { return fs.lookup("/&#x263A;", node); }), kSuccess);
    EXPECT_EQ(handset.stat(u"/\u263A", attributes), kSuccess);
    EXPECT_EQ(attributes.size, 3u);
    EXPECT_EQ(attributes.creationTime, 77u);
    EXPECT_EQ(handset.writeFile(u"/big", Bytes(17)), kFileTooBig);
    EXPECT_EQ(handset.writeFile(u"/a", {}), kIsDirectory);
    Bytes content;
    EXPECT_EQ(handset.readFile(u"/a", content), kIsDirectory);
    EXPECT_EQ(handset.readFile(u"/none", content), kNoEntry);
    EXPECT_EQ(handset.readFile(u"/\xDC00", content), kInvalidArgument);
}
