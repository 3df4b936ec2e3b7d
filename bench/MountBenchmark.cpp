// vornak-efs mount against vornak-efs get -r: `cp -r` of a 10,000-file tree
// out of a mounted emulated handset and `get -r` of the same tree, in the
// requests the handset answers and in time through a modelled cable; and
// `ls -l` of a 1,000-entry directory, request by request. The emulated
// handset counts what it answers. Needs /dev/fuse and fusermount3; without
// them it says so and measures nothing.
#include "diag/Efs2.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "emulator/Line.h"
#include "tools/vornak-efs/Session.h"
#include "tools/vornak-efs/Transfer.h"
#include "tools/vornak-efs/mount/FuseMount.h"

#include <benchmark/benchmark.h>

#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace Diag::Efs2;

constexpr int kTop = 10, kMiddle = 10, kFiles = 100; // 10,000 files in 100 directories
constexpr std::uint32_t kTimeout = 5000;

// A handset on USB: a quarter of a millisecond each way and back, and its
// bytes at full speed.
constexpr Emulator::LinkModel kUsb{std::chrono::microseconds(250), 12'000'000};

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

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::uint64_t requestsOf(const Emulator::Handset& handset)
{
    return handset.requestCounts().all;
}

// Argument: 1 through the modelled cable, 0 as fast as the emulator answers.
void copyTreeOut(benchmark::State& state)
{
    if (!canMount()) {
        state.SkipWithError("not run: /dev/fuse or fusermount3 is missing");
        return;
    }
    const Tree tree = makeTree();
    const auto line =
        std::make_shared<Emulator::Line>(state.range(0) != 0 ? kUsb : Emulator::LinkModel{});
    const auto port = Emulator::EmulatedPort::create(tree.handset, line);
    const fs::path out =
        fs::temp_directory_path() / ("vornak-bench-out-" + std::to_string(::getpid()));
    double mounted = 0, got = 0;
    std::uint64_t mountRequests = 0, getRequests = 0;
    for (auto _ : state) {
        fs::remove_all(out);
        {
            Mounted mount(port);
            const std::uint64_t before = requestsOf(*tree.handset);
            mounted = seconds([&] {
                const std::string command =
                    "cp -r '" + (mount.point() / "tree").string() + "' '" + out.string() + "'";
                if (std::system(command.c_str()) != 0) {
                    state.SkipWithError("cp -r failed");
                }
            });
            mountRequests = requestsOf(*tree.handset) - before;
        }
        fs::remove_all(out);
        VornakEfs::Session session(port, kTimeout, kFileSubsystem);
        VornakEfs::TransferOptions options;
        options.recursive = true;
        std::ostringstream warnings;
        options.warnings = &warnings;
        const std::uint64_t before = requestsOf(*tree.handset);
        got = seconds([&] { VornakEfs::get(session, {"/tree", out.string()}, options); });
        getRequests = requestsOf(*tree.handset) - before;
        state.SetIterationTime(mounted);
    }
    fs::remove_all(out);
    state.counters["requests"] = static_cast<double>(mountRequests);
    state.counters["get_requests"] = static_cast<double>(getRequests);
    state.counters["minimum"] = static_cast<double>(tree.minimum);
    state.counters["requests/get"] =
        static_cast<double>(mountRequests) / static_cast<double>(getRequests);
    state.counters["get_s"] = got;
    state.counters["time/get"] = mounted / got;
}
BENCHMARK(copyTreeOut)
    ->ArgName("usb_line")
    ->Arg(0)
    ->Arg(1)
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
    Mounted mount(Emulator::EmulatedPort::create(handset));
    const std::string list = "ls '" + mount.point().string() + "' >/dev/null";
    const std::string listLongly = "ls -l '" + (mount.point() / "big").string() + "' >/dev/null";
    Emulator::Handset::RequestCounts before, after;
    for (auto _ : state) {
        std::system(list.c_str()); // the directory's own name is known, as after any listing
        before = handset->requestCounts();
        if (std::system(listLongly.c_str()) != 0) {
            state.SkipWithError("ls -l failed");
        }
        after = handset->requestCounts();
    }
    const auto sent = [&](std::uint16_t command) {
        return static_cast<double>(after.of(command) - before.of(command));
    };
    state.counters["OPENDIR"] = sent(OpenDir);
    state.counters["READDIR"] = sent(ReadDir);
    state.counters["CLOSEDIR"] = sent(CloseDir);
    state.counters["others"] = static_cast<double>(after.all - before.all) - sent(OpenDir) -
                               sent(ReadDir) - sent(CloseDir);
}
BENCHMARK(listLong)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
