// The mount's file system without the kernel: what each operation costs in
// requests, which errno a failure becomes, what the attribute cache keeps
// and forgets, and what a listing leaves out. These run where FUSE cannot.
#include "support/CuedPort.h"

#include "diag/Efs2.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "tools/vornak-efs/mount/AttributeCache.h"
#include "tools/vornak-efs/mount/FileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <sstream>

namespace {

using Emulator::Fault;
using ::testing::HasSubstr;
using TestSupport::Efs2Sent;
using VornakEfs::Mount::AttributeCache;
using VornakEfs::Mount::Attributes;
using VornakEfs::Mount::FileSystem;
using namespace Diag::Efs2;
using namespace std::chrono_literals;

TEST(AttributeCache, KeepsWhatItIsToldForItsLifetimeAndForgetsWhatAChangeTouches)
{
    AttributeCache::Clock::time_point now{};
    AttributeCache cache(1s, [&] { return now; });
    for (const char* path : {"/a", "/a/x", "/a/x/y", "/a-b", "/ab", "/b"}) {
        cache.store(path, Attributes{kModeRegular | 0644, 1, 1, 0, 0, 0});
    }
    now += 999ms;
    EXPECT_NE(cache.find("/a/x/y"), nullptr);

    cache.forget("/a/x"); // the name, all below it, and its directory
    for (const char* gone : {"/a", "/a/x", "/a/x/y"}) {
        EXPECT_EQ(cache.find(gone), nullptr) << gone;
    }
    for (const char* kept : {"/a-b", "/ab", "/b"}) {
        EXPECT_NE(cache.find(kept), nullptr) << kept;
    }
    now += 1ms;
    EXPECT_EQ(cache.find("/b"), nullptr);

    AttributeCache off(0s);
    off.store("/a", Attributes{});
    EXPECT_EQ(off.find("/a"), nullptr);
}

class MountFileSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        handset_->edit([](Emulator::FileSystem& files) {
            files.addFile(u"/data/log.bin", std::vector<std::uint8_t>(1300, 7));
            files.addFile(u"/data/note.txt", std::vector<std::uint8_t>(5, 'n'));
        });
        make(1s);
    }

    void make(std::chrono::milliseconds cacheLifetime)
    {
        fileSystem_.reset();
        VornakEfs::Mount::Settings settings;
        settings.timeoutMs = 100;
        settings.cacheLifetime = cacheLifetime;
        fileSystem_ = std::make_unique<FileSystem>(port_, settings, &notes_);
    }
    // The requests the handset answered since the last call.
    Efs2Sent sent()
    {
        const Emulator::Handset::RequestCounts now = handset_->requestCounts();
        return TestSupport::efs2Sent(std::exchange(counted_, now), now);
    }
    int lookUp(const std::string& path)
    {
        struct stat attributes {};
        return fileSystem_->getAttributes(path, attributes);
    }

    std::shared_ptr<Emulator::Handset> handset_ = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<IDiagPort> port_ = Emulator::EmulatedPort::create(handset_);
    std::ostringstream notes_;
    std::unique_ptr<FileSystem> fileSystem_;
    Emulator::Handset::RequestCounts counted_;
};

TEST_F(MountFileSystem, ALookUpCostsLStatAndStatUnlessAListingToldIt)
{
    struct stat attributes {};
    ASSERT_EQ(fileSystem_->getAttributes("/data/log.bin", attributes), 0);
    EXPECT_EQ(attributes.st_mode, S_IFREG | 0666u);
    EXPECT_EQ(attributes.st_size, 1300);
    EXPECT_EQ(lookUp("/data/log.bin"), 0);
    EXPECT_EQ(sent(), (Efs2Sent{{LStat, 1}, {Stat, 1}}));

    sent();
    std::vector<VornakEfs::Mount::DirectoryEntry> entries;
    ASSERT_EQ(fileSystem_->list("/data", entries), 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "note.txt");
    EXPECT_EQ(entries[1].attributes.st_size, 5);
    EXPECT_EQ(lookUp("/data/note.txt"), 0);
    EXPECT_EQ(sent(), (Efs2Sent{{OpenDir, 1}, {ReadDir, 3}, {CloseDir, 1}}));

    make(0s); // no cache: every look-up asks
    sent();
    EXPECT_EQ(lookUp("/data/note.txt"), 0);
    EXPECT_EQ(lookUp("/data/note.txt"), 0);
    EXPECT_EQ(sent(), (Efs2Sent{{LStat, 2}, {Stat, 2}}));
}

TEST_F(MountFileSystem, ReadsAndWritesMovePacketsBackToBackOnOneDescriptor)
{
    FileSystem::Handle handle = 0;
    ASSERT_EQ(fileSystem_->open("/data/log.bin", O_RDWR, handle), 0);
    std::vector<char> buffer(4096);
    EXPECT_EQ(fileSystem_->read(handle, buffer.data(), buffer.size(), 0), 1300);
    EXPECT_EQ(fileSystem_->write(handle, buffer.data(), 1300, 1000), 1300);
    EXPECT_EQ(fileSystem_->read(handle, buffer.data(), buffer.size(), 2300), 0);
    EXPECT_EQ(sent(), (Efs2Sent{{Open, 1}, {Read, 3 + 1}, {Write, 3}}));

    // What the cache knew of the file is gone once it changed.
    ASSERT_EQ(lookUp("/data/log.bin"), 0);
    ASSERT_EQ(fileSystem_->write(handle, buffer.data(), 1, 2300), 1);
    struct stat attributes {};
    ASSERT_EQ(fileSystem_->getAttributes("/data/log.bin", attributes, handle), 0);
    EXPECT_EQ(attributes.st_size, 2301);

    FileSystem::Handle other = 0;
    ASSERT_EQ(fileSystem_->create("/data/new.txt", 0640, O_WRONLY | O_EXCL, other), 0);
    EXPECT_EQ(handset_->openDescriptors(), 2u);
    EXPECT_EQ(fileSystem_->release(handle), 0);
    EXPECT_EQ(handset_->openDescriptors(), 1u);
    fileSystem_.reset(); // a mount that ends closes what the kernel never released
    EXPECT_EQ(handset_->openDescriptors(), 0u);
}

TEST_F(MountFileSystem, FailuresBecomeTheSameErrnoAndTheNextCallWorks)
{
    const struct {
        const char* name;
        Fault fault;
        int result;
    } cases[] = {
        {"ENOENT", Fault::errorResponse(ENOENT), -ENOENT},
        {"EACCES", Fault::errorResponse(EACCES), -EACCES},
        {"ENOSPC", Fault::errorResponse(ENOSPC), -ENOSPC},
        {"ENOTEMPTY", Fault::errorResponse(ENOTEMPTY), -ENOTEMPTY},
        // What the kernel would read as "never ask again", or a caller as
        // "try again at once", is not passed on as it is.
        {"ENOSYS", Fault::errorResponse(ENOSYS), -EOPNOTSUPP},
        {"EINTR", Fault::errorResponse(EINTR), -EIO},
        {"EAGAIN", Fault::errorResponse(EAGAIN), -EIO},
        {"no answer", Fault::noAnswer(), -EIO},
        {"port failure", Fault::portFailure(E_FAIL), -EIO},
        {"truncated", Fault::truncatedResponse(6), -EIO},
    };
    make(0s);
    for (const auto& c : cases) {
        handset_->queueFault(c.fault);
        EXPECT_EQ(lookUp("/data/note.txt"), c.result) << c.name;
        EXPECT_EQ(lookUp("/data/note.txt"), 0) << c.name;
    }
    EXPECT_THAT(notes_.str(), HasSubstr("did not answer within 100 ms (port error 0x800705B4) "
                                        "looking up /data/note.txt"));

    const std::string tooLong(1100, 'x');
    EXPECT_EQ(lookUp("/" + tooLong), -ENAMETOOLONG);
    EXPECT_EQ(lookUp("/\xFF"), -EILSEQ);
    EXPECT_EQ(fileSystem_->rename("/data/note.txt", "/x", 1 /* RENAME_NOREPLACE */), -EINVAL);
    EXPECT_EQ(fileSystem_->changeOwner("/data/note.txt", ::getuid() + 1, -1u), -EPERM);
    const struct timespec someTime[2] = {{1, 0}, {1, 0}};
    EXPECT_EQ(fileSystem_->setTimes("/data/note.txt", someTime), -EOPNOTSUPP);
    EXPECT_EQ(fileSystem_->setTimes("/data/note.txt", nullptr), 0);
}

TEST_F(MountFileSystem, NamesNoFolderCanHoldAreLeftOutOfListings)
{
    handset_->edit([](Emulator::FileSystem& files) {
        for (const char* name : {"a&#x2F;b", "nul&#x0;", "half&#xD800;", "..", "fine"}) {
            files.addFile(u"/odd/plain", {});
            auto entry = files.root()->entries.at("odd")->entries.extract("plain");
            entry.key() = name;
            files.root()->entries.at("odd")->entries.insert(std::move(entry));
        }
    });
    std::vector<VornakEfs::Mount::DirectoryEntry> entries;
    ASSERT_EQ(fileSystem_->list("/odd", entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "fine");
    ASSERT_EQ(fileSystem_->list("/odd", entries), 0);
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_THAT(notes_.str(), HasSubstr("left out of /odd"));
    // Each name is said once, however often the kernel lists it.
    std::size_t notes = 0;
    for (std::size_t at = 0; (at = notes_.str().find("left out", at)) != std::string::npos; ++at) {
        ++notes;
    }
    EXPECT_EQ(notes, 4u);
    EXPECT_EQ(handset_->openDirectories(), 0u);
}

// A handset that never ends a listing fails that listing, not the mount.
TEST_F(MountFileSystem, AListingThatNeverEndsFailsAtTheLimit)
{
    std::vector<VornakEfs::Mount::DirectoryEntry> entries;
    handset_->queueFault(Fault::endlessListing());
    EXPECT_EQ(fileSystem_->list("/data", entries), -EIO);
    EXPECT_THAT(notes_.str(), HasSubstr("listing beyond 65536 entries"));
    EXPECT_EQ(handset_->openDirectories(), 0u);
    EXPECT_EQ(fileSystem_->list("/data", entries), 0);
    EXPECT_EQ(entries.size(), 2u);
}

} // namespace
