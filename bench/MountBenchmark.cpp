// vornak-efs mount against the protocol's minimum: `cp -r` of a 10,000-file
// tree out of a mounted emulated handset, and `ls -l` of a 1,000-entry
// directory. Requests are counted at the port; the minimum for a tree is,
// per directory, OPENDIR, one READDIR per entry and the closing one,
// CLOSEDIR, and per file OPEN, the READs up to the first short one, CLOSE:
// what a program that walks the handset itself sends. The same walk, done
// directly through the port, is the time to beat. A fixed delay on every
// request stands in for a slow line. Needs /dev/fuse and fusermount3;
// without them it says so and measures nothing.
#include "support/CountingPort.h"

#include "diag/EFSClose.h"
#include "diag/EFSCloseDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSRead.h"
#include "diag/EFSReadDir.h"
#include "diag/Efs2.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "tools/vornak-efs/mount/FuseMount.h"

#include <benchmark/benchmark.h>

#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using TestSupport::CountingPort;
using namespace Diag::Efs2;

constexpr int kTop = 10, kMiddle = 10, kFiles = 100; // 10,000 files in 100 directories
constexpr std::uint32_t kTimeout = 5000;

// Mixed sizes from 0 to 8 KiB, some at whole packets.
std::uint32_t sizeOf(int file)
{
    return file % 16 == 0 ? 512u * static_cast<std::uint32_t>(file % 5)
                          : static_cast<std::uint32_t>(file * 7919) % 8192u;
}

struct Tree {
    std::shared_ptr<Emulator::Handset> handset = std::make_shared<Emulator::Handset>();
    std::uint64_t minimum = 0; // requests
};

Tree makeTree()
{
    Tree tree;
    tree.handset->edit([&](Emulator::FileSystem& files) {
        int file = 0;
        tree.minimum += 3 + kTop; // the root and its entries
        for (int top = 0; top < kTop; ++top) {
            tree.minimum += 3 + kMiddle;
            for (int middle = 0; middle < kMiddle; ++middle) {
                tree.minimum += 3 + kFiles;
                const std::string path =
                    "/tree/t" + std::to_string(top) + "/m" + std::to_string(middle);
                const std::u16string directory(path.begin(), path.end());
                for (int i = 0; i < kFiles; ++i, ++file) {
                    const std::uint32_t size = sizeOf(file);
                    const std::string name = "f" + std::to_string(i) + ".bin";
                    files.addFile(directory + u"/" + std::u16string(name.begin(), name.end()),
                                  std::vector<std::uint8_t>(size, static_cast<std::uint8_t>(i)));
                    tree.minimum += 2 + size / 512 + 1;
                }
            }
        }
    });
    return tree;
}

bool canMount()
{
    return ::access("/dev/fuse", R_OK | W_OK) == 0 &&
           std::system("command -v fusermount3 >/dev/null 2>&1") == 0;
}

// The handset behind `port` mounted on a fresh folder, served on a thread.
class Mounted {
public:
    explicit Mounted(Platform::ComPtr<IDiagPort> port)
        : point_(fs::temp_directory_path() / ("vornak-bench-" + std::to_string(::getpid())))
    {
        fs::create_directories(point_);
        VornakEfs::Mount::Settings settings;
        settings.owner = ::getuid();
        settings.group = ::getgid();
        fileSystem_ = std::make_unique<VornakEfs::Mount::FileSystem>(port, settings, nullptr);
        fileSystem_->probe();
        VornakEfs::Mount::MountOptions options;
        options.mountPoint = point_.string();
        mount_ = std::make_unique<VornakEfs::Mount::FuseMount>(*fileSystem_, options);
        server_ = std::thread([this] { mount_->serve(false); });
    }
    ~Mounted()
    {
        ::umount2(point_.c_str(), MNT_DETACH);
        server_.join();
        mount_.reset();
        fileSystem_.reset();
        fs::remove(point_);
    }
    const fs::path& point() const { return point_; }

private:
    fs::path point_;
    std::unique_ptr<VornakEfs::Mount::FileSystem> fileSystem_;
    std::unique_ptr<VornakEfs::Mount::FuseMount> mount_;
    std::thread server_;
};

// The minimal walk, straight through the port, into `host`.
void copyDirectly(IDiagPort* port, const std::u16string& path, const fs::path& host)
{
    fs::create_directory(host);
    const std::uint32_t dirp = CEFSOpenDir(port, kTimeout, kFileSubsystem).Execute(path);
    CEFSReadDir readDir(port, kTimeout, kFileSubsystem);
    std::vector<Marl::Common::EfsReadDirEntry> entries;
    for (std::uint32_t seqno = 1;; ++seqno) {
        auto entry = readDir.Read(dirp, seqno);
        if (entry.name().empty()) {
            break;
        }
        entries.push_back(std::move(entry));
    }
    CEFSCloseDir(port, kTimeout, kFileSubsystem).Execute(dirp);
    for (const auto& entry : entries) {
        const std::u16string child = path + u"/" + entry.name();
        const fs::path hostChild = host / fs::path(entry.name());
        if (isDirectoryMode(entry.mode())) {
            copyDirectly(port, child, hostChild);
            continue;
        }
        const std::int32_t fd =
            Diag::Efs::Open(port, kTimeout, kFileSubsystem).Execute(child, kOpenReadOnly, 0);
        std::ofstream out(hostChild, std::ios::binary);
        CEFSRead read(port, kTimeout, kFileSubsystem);
        std::uint8_t buffer[kMaxData];
        for (std::uint32_t offset = 0;;) {
            const std::uint32_t got = read.Execute(buffer, fd, kMaxData, offset);
            out.write(reinterpret_cast<const char*>(buffer), got);
            offset += got;
            if (got < kMaxData) {
                break;
            }
        }
        CEFSClose(port, kTimeout, kFileSubsystem).Execute(fd);
    }
}

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Argument: microseconds each request waits.
void copyTreeOut(benchmark::State& state)
{
    if (!canMount()) {
        state.SkipWithError("not run: /dev/fuse or fusermount3 is missing");
        return;
    }
    const Tree tree = makeTree();
    auto port = CountingPort::create(Emulator::EmulatedPort::create(tree.handset));
    port->delayEach(std::chrono::microseconds(state.range(0)));
    const fs::path out = fs::temp_directory_path() / ("vornak-bench-out-" + std::to_string(::getpid()));
    double mounted = 0, direct = 0;
    std::uint64_t requests = 0;
    for (auto _ : state) {
        fs::remove_all(out);
        {
            Mounted mount(Platform::ComPtr<IDiagPort>(port.get()));
            port->reset();
            mounted = seconds([&] {
                const std::string command =
                    "cp -r '" + (mount.point() / "tree").string() + "' '" + out.string() + "'";
                if (std::system(command.c_str()) != 0) {
                    state.SkipWithError("cp -r failed");
                }
            });
            requests = port->total();
        }
        fs::remove_all(out);
        direct = seconds([&] { copyDirectly(port.get(), u"/tree", out); });
        state.SetIterationTime(mounted);
    }
    fs::remove_all(out);
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["minimum"] = static_cast<double>(tree.minimum);
    state.counters["requests/minimum"] =
        static_cast<double>(requests) / static_cast<double>(tree.minimum);
    state.counters["direct_s"] = direct;
    state.counters["time/direct"] = mounted / direct;
}
BENCHMARK(copyTreeOut)
    ->ArgName("delay_us")
    ->Arg(0)
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void listLong(benchmark::State& state)
{
    if (!canMount()) {
        state.SkipWithError("not run: /dev/fuse or fusermount3 is missing");
        return;
    }
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit([](Emulator::FileSystem& files) {
        for (int i = 0; i < 1000; ++i) {
            const std::string name = "entry" + std::to_string(i);
            files.addFile(u"/big/" + std::u16string(name.begin(), name.end()),
                          std::vector<std::uint8_t>(static_cast<std::size_t>(i)));
        }
    });
    auto port = CountingPort::create(Emulator::EmulatedPort::create(handset));
    Mounted mount(Platform::ComPtr<IDiagPort>(port.get()));
    const std::string list = "ls '" + mount.point().string() + "' >/dev/null";
    const std::string command = "ls -l '" + (mount.point() / "big").string() + "' >/dev/null";
    CountingPort::Counts counts;
    for (auto _ : state) {
        std::system(list.c_str()); // the directory's own name is known, as after any listing
        port->reset();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ls -l failed");
        }
        counts = port->counts();
    }
    state.counters["OPENDIR"] = static_cast<double>(counts[OpenDir]);
    state.counters["READDIR"] = static_cast<double>(counts[ReadDir]);
    state.counters["CLOSEDIR"] = static_cast<double>(counts[CloseDir]);
    state.counters["others"] = static_cast<double>(port->total() - counts[OpenDir] -
                                                    counts[ReadDir] - counts[CloseDir]);
}
BENCHMARK(listLong)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
