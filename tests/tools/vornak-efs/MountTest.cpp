// vornak-efs mount for real: an emulated handset mounted on a folder through
// FUSE, worked on by the programs people use (cp, diff, mv, rm, chmod, ln,
// df) and checked again through vornak-efs's own session on the same
// handset; then the program itself, started, interrupted, unmounted and
// killed. Where this machine cannot mount (no /dev/fuse, no fusermount3)
// every test here reports "not run".
#include "Tool.h"
#include "support/CuedPort.h"

#include "diag/EFSReadLink.h"
#include "diag/Efs2.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "emulator/Seed.h"
#include "tools/vornak-efs/Session.h"
#include "tools/vornak-efs/mount/FuseMount.h"
#include "transport/PtyHandsetServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Emulator::Fault;
using ::testing::HasSubstr;
using TestSupport::CuedPort;
using TestSupport::Efs2Sent;
using ToolTest::readFile;
using ToolTest::writeFile;
using namespace Diag::Efs2;

std::optional<std::string> whyMountsCannotRun()
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        return "not run: /dev/fuse is missing or closed to this user";
    }
    if (std::system("command -v fusermount3 >/dev/null 2>&1") != 0) {
        return "not run: fusermount3 is missing (Debian package fuse3)";
    }
    return std::nullopt;
}

// Runs `command` with the shell; its exit status.
int sh(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

bool isMounted(const fs::path& point)
{
    std::ifstream table("/proc/self/mountinfo");
    const std::string field = " " + point.string() + " ";
    for (std::string line; std::getline(table, line);) {
        if (line.find(field) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool waitUntil(const std::function<bool()>& condition)
{
    for (int i = 0; i < 200; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Each test mounts a handset filled from a seed folder of its own, in a
// folder of its own below the build's, which the CTest fixture clears of
// mounts a crash may have left.
class MountedHandset : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto why = whyMountsCannotRun()) {
            GTEST_SKIP() << *why;
        }
        fs::create_directories(VORNAK_MOUNT_TEST_ROOT);
        std::string pattern = (fs::path(VORNAK_MOUNT_TEST_ROOT) /
                               ::testing::UnitTest::GetInstance()->current_test_info()->name())
                                  .string() +
                              "-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        seed_ = root_ / "seed";
        root_ = fs::canonical(root_);
        point_ = root_ / "mnt";
        fs::create_directories(point_);
        writeFile(seed_ / "readme.txt", "a handset of files\n");
        writeFile(seed_ / u8"caf\u00E9.txt", "in the code page\n");
        writeFile(seed_ / u8"\u30E1\u30E2.txt", "outside the code page\n");
        writeFile(seed_ / "data" / "calibration.bin", ToolTest::bytesOf(1300, 1));
        writeFile(seed_ / "data" / "exact.bin", ToolTest::bytesOf(1024, 2));
        writeFile(seed_ / "data" / "empty.bin", "");
        writeFile(seed_ / "deep" / "a" / "b" / "c.txt", "deep\n");
        fs::create_directories(seed_ / "hollow");
    }

    void TearDown() override
    {
        unmount();
        for (const pid_t child : children_) {
            ::kill(child, SIGKILL);
            ToolTest::waitFor(child);
        }
        if (isMounted(point_)) {
            sh("fusermount3 -u -z " + quoted(point_));
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Mounts a handset filled from the seed, its capacity `capacity` bytes.
    void mount(std::chrono::milliseconds cacheLifetime = std::chrono::seconds(60),
               std::uint64_t capacity = Emulator::Limits().capacity)
    {
        Emulator::Limits limits;
        limits.capacity = capacity;
        Emulator::FileSystem files(limits);
        Emulator::seedFromHost(files, seed_);
        handset_ = std::make_shared<Emulator::Handset>(std::move(files));
        port_ = CuedPort::create(Emulator::EmulatedPort::create(handset_));
        VornakEfs::Mount::Settings settings;
        settings.timeoutMs = 200; // the port falls silent in some tests
        settings.cacheLifetime = cacheLifetime;
        settings.owner = ::getuid();
        settings.group = ::getgid();
        fileSystem_ = std::make_unique<VornakEfs::Mount::FileSystem>(
            Platform::ComPtr<IDiagPort>(port_.get()), settings, &notes_);
        fileSystem_->probe();
        VornakEfs::Mount::MountOptions options;
        options.mountPoint = point_.string();
        options.cacheLifetime = cacheLifetime;
        mount_ = std::make_unique<VornakEfs::Mount::FuseMount>(*fileSystem_, options);
        server_ = std::thread([this] {
            try {
                mount_->serve(false);
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
        });
    }

    void unmount()
    {
        if (!server_.joinable()) {
            return;
        }
        if (::umount2(point_.c_str(), MNT_DETACH) != 0) {
            sh("fusermount3 -u -z " + quoted(point_));
        }
        server_.join();
        mount_.reset();
        fileSystem_.reset();
    }

    // The requests the handset answered since the last call.
    Efs2Sent sent()
    {
        const Emulator::Handset::RequestCounts now = handset_->requestCounts();
        return TestSupport::efs2Sent(std::exchange(counted_, now), now);
    }

    // The same handset as another vornak-efs sees it.
    VornakEfs::Session session() const
    {
        return VornakEfs::Session(Emulator::EmulatedPort::create(handset_), 1000, kFileSubsystem);
    }
    std::string handsetBytes(const std::u16string& path) const
    {
        VornakEfs::Session other = session();
        auto file = other.openForReading(path);
        std::string bytes(1 << 16, '\0');
        bytes.resize(file->Read(reinterpret_cast<std::uint8_t*>(bytes.data()),
                                static_cast<std::uint32_t>(bytes.size())));
        return bytes;
    }
    // The names of a handset directory as the handset stores them.
    std::set<std::string> storedNames(std::string_view directory) const
    {
        return handset_->edit([&](Emulator::FileSystem& files) {
            Emulator::NodePtr node;
            std::set<std::string> names;
            if (files.lookup(directory, node) == kSuccess) {
                for (const auto& [name, entry] : node->entries) {
                    names.insert(name);
                }
            }
            return names;
        });
    }
    // The kernel releases a file after close(2) has returned: give it time.
    void expectNothingOpen() const
    {
        waitUntil(
            [&] { return handset_->openDescriptors() == 0 && handset_->openDirectories() == 0; });
        EXPECT_EQ(handset_->openDescriptors(), 0u);
        EXPECT_EQ(handset_->openDirectories(), 0u);
        EXPECT_EQ(fileSystem_->openFiles(), 0u);
    }

    // Starts vornak-efs with `arguments`, its output and errors to `output`,
    // killed at the end of the test if it is still running.
    pid_t start(const std::vector<std::string>& arguments, std::FILE* output)
    {
        return children_.emplace_back(
            ToolTest::spawn(arguments, ::fileno(output), ::fileno(output)));
    }
    int wait(pid_t child)
    {
        std::erase(children_, child);
        return ToolTest::waitFor(child);
    }

    fs::path root_, seed_, point_;
    std::vector<pid_t> children_;
    std::shared_ptr<Emulator::Handset> handset_;
    Platform::ComPtr<CuedPort> port_;
    Emulator::Handset::RequestCounts counted_;
    std::ostringstream notes_;
    std::unique_ptr<VornakEfs::Mount::FileSystem> fileSystem_;
    std::unique_ptr<VornakEfs::Mount::FuseMount> mount_;
    std::thread server_;
};

TEST_F(MountedHandset, TreesCopyOutAndInByteForByteUnderTheHandsetsNames)
{
    mount();
    EXPECT_EQ(sh("diff -r " + quoted(seed_) + " " + quoted(point_)), 0);
    ASSERT_EQ(sh("cp -r " + quoted(point_) + " " + quoted(root_ / "out")), 0);
    EXPECT_EQ(sh("diff -r " + quoted(seed_) + " " + quoted(root_ / "out")), 0);
    ASSERT_EQ(sh("cp -r " + quoted(seed_) + " " + quoted(point_ / "copy")), 0);
    EXPECT_EQ(sh("diff -r " + quoted(seed_) + " " + quoted(point_ / "copy")), 0);

    // The names went to the handset as it keeps them, and came back the same.
    std::set<std::string> top = storedNames("/");
    top.erase("copy");
    EXPECT_EQ(storedNames("/copy"), top);
    EXPECT_THAT(top, ::testing::IsSupersetOf({"caf\xE9.txt", "&#x30E1;&#x30E2;.txt"}));
    EXPECT_EQ(handsetBytes(u"/copy/data/calibration.bin"),
              readFile(seed_ / "data" / "calibration.bin"));
    expectNothingOpen();
}

TEST_F(MountedHandset, ChangesMadeThroughTheMountReachTheHandset)
{
    mount();
    const std::string at = quoted(point_) + "/";
    EXPECT_EQ(sh("mv " + at + "deep " + at + "moved"), 0);
    EXPECT_EQ(sh("rm -r " + at + "data"), 0);
    EXPECT_EQ(sh("chmod 600 " + at + "readme.txt"), 0);
    EXPECT_EQ(sh("ln -s readme.txt " + at + "link"), 0);
    EXPECT_EQ(sh("mkdir " + at + "made && rmdir " + at + "hollow"), 0);
    // An editor's save: the new text under a temporary name, renamed over the old.
    EXPECT_EQ(
        sh("printf 'saved\\n' > " + at + ".café.swp && mv " + at + ".café.swp " + at + "café.txt"),
        0);
    EXPECT_EQ(sh("cat " + at + "link >/dev/null && df " + quoted(point_) + " >/dev/null"), 0);

    VornakEfs::Session other = session();
    std::vector<std::u16string> names;
    for (const auto& entry : other.list(u"/")) {
        names.push_back(entry.name);
    }
    EXPECT_THAT(names, ::testing::ElementsAre(u"caf\u00E9.txt", u"link", u"made", u"moved",
                                              u"readme.txt", u"\u30E1\u30E2.txt"));
    EXPECT_EQ(other.stat(u"/readme.txt").mode, kModeRegular | 0600);
    EXPECT_EQ(other.stat(u"/link").mode & kModeTypeMask, kModeSymbolicLink);
    EXPECT_EQ(Diag::Efs::ReadLink(other.port(), 1000, kFileSubsystem).Execute(u"/link"),
              u"readme.txt");
    EXPECT_TRUE(other.find(u"/moved/a/b/c.txt"));
    EXPECT_EQ(handsetBytes(u"/caf\u00E9.txt"), "saved\n");

    struct statvfs status {};
    ASSERT_EQ(::statvfs(point_.c_str(), &status), 0);
    const Emulator::Usage usage =
        handset_->edit([](Emulator::FileSystem& files) { return files.usage(); });
    EXPECT_EQ(status.f_blocks * status.f_frsize, usage.capacity);
    EXPECT_EQ(status.f_files - status.f_ffree, usage.nodes);
    expectNothingOpen();
}

// What the kernel asks after a listing is answered from what the listing
// said; what changes through the mount is seen at once all the same.
TEST_F(MountedHandset, ListingsAnswerTheLookUpsThatFollowThem)
{
    mount();
    handset_->edit([](Emulator::FileSystem& files) {
        for (int i = 0; i < 300; ++i) {
            const std::string number = std::to_string(i);
            files.addFile(u"/many/f" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                              std::u16string(number.begin(), number.end()),
                          std::vector<std::uint8_t>(static_cast<std::size_t>(i)));
        }
    });
    ASSERT_EQ(sh("ls " + quoted(point_) + " >/dev/null"), 0);
    sent();
    ASSERT_EQ(sh("ls -l " + quoted(point_ / "many") + " >/dev/null"), 0);
    EXPECT_EQ(sent(), (Efs2Sent{{OpenDir, 1}, {ReadDir, 301}, {CloseDir, 1}}));

    // cp -r out sends the protocol's minimum: per directory its listing,
    // per file OPEN, the READs up to the first short one, CLOSE; and for an
    // empty file no READ at all, the kernel knowing its size.
    sent();
    ASSERT_EQ(sh("cp -r " + quoted(point_ / "data") + " " + quoted(root_ / "out")), 0);
    expectNothingOpen(); // the kernel's last release may come after cp has ended
    EXPECT_EQ(
        sent(),
        (Efs2Sent{
            {Open, 3}, {Close, 3}, {Read, 3 + 3}, {OpenDir, 1}, {ReadDir, 4}, {CloseDir, 1}}));

    const fs::path note = point_ / "many" / "fH7";
    ASSERT_EQ(fs::file_size(note), 7u);
    std::ofstream(note, std::ios::app) << "more";
    EXPECT_EQ(fs::file_size(note), 11u);
    fs::rename(note, point_ / "many" / "renamed");
    EXPECT_FALSE(fs::exists(note));
    EXPECT_EQ(fs::file_size(point_ / "many" / "renamed"), 11u);
    expectNothingOpen();
}

// The handset refuses or fails in the middle of a program's work: the
// program gets the errno the handset meant (EIO for a port that fails), no
// descriptor stays open, and the next operation works.
TEST_F(MountedHandset, FaultsReachTheCallerAndLeaveNothingOpen)
{
    const std::string calibration = quoted(point_ / "data" / "calibration.bin");
    const std::string out = quoted(root_ / "out.bin");
    // The kernel reads a page again once when a read of it fails: a fault
    // that cp is to see lasts for both.
    const auto onSecondRead = [this](Fault fault, int times) {
        port_->before(Read, 2, [this, fault, times] {
            for (int i = 0; i < times; ++i) {
                handset_->queueFault(fault);
            }
        });
    };
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::string command;
        bool fails;
        const char* says;
    } cases[] = {
        {"EACCES",
         [this] {
             handset_->edit(
                 [](Emulator::FileSystem& files) { return files.changeMode("/readme.txt", 0444); });
         },
         "echo x >> " + quoted(point_ / "readme.txt"), true, "Permission denied"},
        {"ENOSPC", [] {}, "head -c 100000 /dev/zero > " + quoted(point_ / "full.bin"), true,
         "No space left on device"},
        {"stale offset once", [&] { onSecondRead(Fault::staleOffset().on(Read), 1); },
         "cmp " + quoted(seed_ / "data" / "calibration.bin") + " " + calibration, false, ""},
        {"stale offset every time", [&] { onSecondRead(Fault::staleOffset().on(Read), 6); },
         "cp " + calibration + " " + out, true, "Input/output error"},
        {"silent in the middle of a cp",
         [this] { port_->before(Read, 2, [this] { port_->fallSilent(true); }); },
         "cp " + calibration + " " + out, true, "Input/output error"},
    };
    mount(std::chrono::seconds(60), 64 * 1024);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const fs::path said = root_ / "said.txt";
        const int status = sh("(" + c.command + ") 2>" + quoted(said));
        EXPECT_EQ(status != 0, c.fails) << readFile(said);
        EXPECT_THAT(readFile(said), HasSubstr(c.says));
        // The handset comes back; what it could not close is closed first.
        waitUntil([&] { return fileSystem_->openFiles() == 0; });
        port_->fallSilent(false);
        handset_->clearFaults();
        EXPECT_EQ(sh("diff -r " + quoted(seed_ / "deep") + " " + quoted(point_ / "deep")), 0);
        expectNothingOpen();
        std::error_code ignored;
        fs::remove(point_ / "full.bin", ignored);
    }
    EXPECT_THAT(notes_.str(), HasSubstr("did not answer within 200 ms"));
}

// The program: in the foreground until Ctrl-C or fusermount3 -u, each of
// which closes what it held open on the handset; in the background once
// mounted; and killed, a mount point that fusermount3 -u clears.
TEST_F(MountedHandset, TheProgramEndsCleanlyWhicheverWayItIsEnded)
{
    for (const bool interrupted : {true, false}) {
        SCOPED_TRACE(interrupted ? "Ctrl-C" : "fusermount3 -u");
        Emulator::FileSystem files;
        Emulator::seedFromHost(files, seed_);
        auto handset = std::make_shared<Emulator::Handset>(std::move(files));
        Transport::PtyHandsetServer server(handset);
        server.start();
        std::FILE* err = std::tmpfile();
        const pid_t pid = start(
            {"--port", "serial:" + server.slavePath(), "mount", point_.string(), "--foreground"},
            err);
        ASSERT_TRUE(waitUntil([&] { return isMounted(point_); }));
        const int held = ::open((point_ / "readme.txt").c_str(), O_RDONLY);
        EXPECT_GE(held, 0);
        EXPECT_EQ(handset->openDescriptors(), 1u);
        if (interrupted) {
            ::kill(pid, SIGINT);
        } else {
            ::close(held);
            EXPECT_EQ(sh("fusermount3 -u " + quoted(point_)), 0);
        }
        EXPECT_EQ(wait(pid), 0) << ToolTest::readAll(::fileno(err));
        EXPECT_THAT(ToolTest::readAll(::fileno(err)), HasSubstr("unmounted " + point_.string()));
        if (interrupted) {
            ::close(held);
        }
        std::fclose(err);
        EXPECT_FALSE(isMounted(point_));
        EXPECT_EQ(handset->openDescriptors(), 0u);
        EXPECT_EQ(handset->openDirectories(), 0u);
    }

    // In the background, read-only, with a FUSE option passed on (one that
    // only root may give without /etc/fuse.conf's consent).
    std::vector<std::string> arguments = {"--emulator", seed_.string(), "mount", point_.string(),
                                          "--read-only"};
    const bool root = ::getuid() == 0;
    if (root) {
        arguments.insert(arguments.end(), {"-o", "allow_other"});
    }
    const auto background = ToolTest::run(arguments);
    EXPECT_EQ(background.exitCode, 0) << background.err;
    EXPECT_TRUE(isMounted(point_));
    EXPECT_EQ(sh("diff -r " + quoted(seed_) + " " + quoted(point_)), 0);
    EXPECT_EQ(sh("touch " + quoted(point_ / "new.txt") + " 2>&1 | grep -q 'Read-only file system'"),
              0);
    if (root) {
        EXPECT_EQ(sh("grep -F " + quoted(point_) + " /proc/self/mountinfo | grep -q allow_other"),
                  0);
    }
    EXPECT_EQ(sh("fusermount3 -u " + quoted(point_)), 0);
    EXPECT_TRUE(waitUntil([&] { return !isMounted(point_); }));

    std::FILE* err = std::tmpfile();
    const pid_t pid = start({"--emulator", seed_.string(), "mount", point_.string(), "-f"}, err);
    ASSERT_TRUE(waitUntil([&] { return isMounted(point_); }));
    ::kill(pid, SIGKILL);
    wait(pid);
    std::fclose(err);
    struct stat attributes {};
    EXPECT_EQ(::stat(point_.c_str(), &attributes), -1);
    EXPECT_EQ(errno, ENOTCONN);
    EXPECT_EQ(sh("fusermount3 -u " + quoted(point_)), 0);
    EXPECT_FALSE(isMounted(point_));
}

} // namespace
