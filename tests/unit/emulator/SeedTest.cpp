// The file system seeded from a host directory and built in code, and the
// whole-file access by host path, as the handset then reports them.
#include "support/Packet.h"

#include "emulator/DeviceError.h"
#include "emulator/Handset.h"
#include "emulator/Seed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

using namespace Emulator;
using namespace TestSupport;
namespace Efs2 = Diag::Efs2;
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

std::string readDirNames(Handset& handset, std::string_view path)
{
    const Bytes opened = handset.respond(Packet(Efs2::OpenDir).text(path));
    std::string names;
    for (std::uint32_t n = 1;; ++n) {
        const Bytes entry = handset.respond(Packet(Efs2::ReadDir).u32(field32(opened, 4)).u32(n));
        if (entry.size() <= 41) {
            break;
        }
        names.append(entry.begin() + 40, entry.end() - 1).append("|");
    }
    handset.respond(Packet(Efs2::CloseDir).u32(field32(opened, 4)));
    return names;
}

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
    Handset handset(std::move(fileSystem));

    // Names as the handset stores them: Windows-1252, and references beyond it.
    EXPECT_EQ(readDirNames(handset, "/seed"), "&#x263A;.txt|caf\xE9.txt|ro.txt|sub|");
    EXPECT_EQ(readDirNames(handset, "/seed/sub"), "data.bin|deep|");

    const Bytes stat = handset.respond(Packet(Efs2::LStat).text("/seed/sub/data.bin"));
    EXPECT_EQ(field32(stat, 8) & Efs2::kModeTypeMask, Efs2::kModeRegular);
    EXPECT_NE(field32(stat, 8) & 0200, 0u);
    EXPECT_EQ(field32(stat, 16), then);
    EXPECT_EQ(field32(handset.respond(Packet(Efs2::LStat).text("/seed/ro.txt")), 8) & 0222, 0u);
    EXPECT_EQ(field32(handset.respond(Packet(Efs2::LStat).text("/seed/sub/deep")), 8) &
                  Efs2::kModeTypeMask,
              Efs2::kModeDirectory);
    Bytes content;
    EXPECT_EQ(handset.readFile(u"/seed/sub/data.bin", content), kSuccess);
    EXPECT_EQ(content, bytesOf(binary));
    EXPECT_EQ(handset.readFile(u"/seed/\u263A.txt", content), kSuccess);
    EXPECT_EQ(content, bytesOf("smile"));

    EXPECT_THROW(seedFromHost(fileSystem = FileSystem(), root / "missing"), fs::filesystem_error);
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
    EXPECT_EQ(attributes.modificationTime, 5u);
    EXPECT_EQ(handset.stat(u"/a/b", attributes), kSuccess);
    EXPECT_EQ(attributes.mode, 0x41FFu); // made as a parent, before it was asked for
    EXPECT_EQ(attributes.creationTime, 5u);

    // Whole files by host path.
    EXPECT_EQ(handset.writeFile(u"/\u263A", bytesOf("new")), kSuccess);
    EXPECT_EQ(field32(handset.respond(Packet(Efs2::LStat).text("/&#x263A;")), 4), kSuccess);
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
