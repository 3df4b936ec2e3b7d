// `vornak-efs backup` of whole emulated handsets, in this process:
//  - requests: what the backup of a 10,000-file tree of mixed sizes asked,
//    counted by the handset, against the protocol's minimum for that tree;
//  - cable: the same backup through the link model at 1 ms and 115,200 baud,
//    its wall time against requests x round trip + bytes / line rate (about
//    five minutes, nearly all of it asleep);
//  - memory: the peak resident memory a backup of a large tree adds to the
//    process, beyond the handset's own copy of the tree.
// The archives go to the system's temporary folder and are removed.
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "emulator/Line.h"
#include "diag/Efs2.h"
#include "tools/vornak-efs/Backup.h"
#include "tools/vornak-efs/Session.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace Efs2 = Diag::Efs2;

constexpr int kDirectories = 100;
constexpr int kFilesPerDirectory = 100;
constexpr std::chrono::milliseconds kRoundTrip{1};
constexpr std::uint32_t kBaud = 115'200;
constexpr double kBitsPerByte = 10;

std::u16string utf16(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// 100 directories of 100 files: most of them small (log-uniform from 0 to
// 1 KiB, as settings and logs are), one in a thousand of 16 KiB.
std::shared_ptr<Emulator::Handset> mixedTree()
{
    Emulator::FileSystem fs;
    std::mt19937 generator(15);
    std::uniform_real_distribution<double> logSize(0.0, std::log(1025.0));
    std::vector<std::uint8_t> bytes(16 << 10);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    for (int d = 0; d < kDirectories; ++d) {
        const std::string directory = "/dir" + std::to_string(d);
        fs.addDirectory(utf16(directory), 0755, 1'600'000'000);
        for (int f = 0; f < kFilesPerDirectory; ++f) {
            const int index = d * kFilesPerDirectory + f;
            const std::size_t size = index % 1000 == 999
                                         ? bytes.size()
                                         : static_cast<std::size_t>(std::exp(logSize(generator))) - 1;
            fs.addFile(utf16(directory + "/file" + std::to_string(f) + ".bin"),
                       std::span(bytes).first(size), 0644, 1'600'000'000);
        }
    }
    return std::make_shared<Emulator::Handset>(std::move(fs));
}

// The least a backup of the whole tree asks: LSTAT of the root; per
// directory OPENDIR, a READDIR per entry and one more, CLOSEDIR; per file
// OPEN, the READs up to the first short one, CLOSE.
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

std::filesystem::path archivePath()
{
    return std::filesystem::temp_directory_path() /
           ("vornak-bench-backup-" + std::to_string(::getpid()) + ".tar");
}

void runBackup(const Platform::ComPtr<IDiagPort>& port, benchmark::State& state)
{
    VornakEfs::Session session(port, 5000, 19);
    std::ostringstream report;
    const int exitCode =
        VornakEfs::backup(session, {{}, archivePath().string(), false, nullptr}, report);
    std::filesystem::remove(archivePath());
    if (exitCode != 0) {
        state.SkipWithError(("the backup failed: " + report.str()).c_str());
    }
}

// The modelled time of the exchanges a line carried.
double modelSeconds(const Emulator::Line::Counters& counters)
{
    return static_cast<double>(counters.exchanges) *
               std::chrono::duration<double>(kRoundTrip).count() +
           static_cast<double>(counters.bytes) * kBitsPerByte / kBaud;
}

void backupRequests(benchmark::State& state)
{
    const auto handset = mixedTree();
    const std::uint64_t minimum = minimumRequests(*handset);
    std::uint64_t before = handset->requestCounts().all;
    std::uint64_t sent = 0;
    Emulator::Line::Counters line;
    for (auto _ : state) {
        // An instant line: it only counts what would cross a cable.
        auto counting = std::make_shared<Emulator::Line>(Emulator::LinkModel{});
        runBackup(Emulator::EmulatedPort::create(handset, counting), state);
        const std::uint64_t after = handset->requestCounts().all;
        sent = after - before;
        before = after;
        line = counting->counters();
    }
    std::printf("requests sent / protocol minimum: %llu / %llu = %.2f\n",
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(minimum),
                static_cast<double>(sent) / static_cast<double>(minimum));
    state.counters["requests"] = static_cast<double>(sent);
    state.counters["minimum"] = static_cast<double>(minimum);
    state.counters["vs_minimum"] = static_cast<double>(sent) / static_cast<double>(minimum);
    state.counters["line_bytes"] = static_cast<double>(line.bytes);
    state.counters["cable_s"] = modelSeconds(line); // what the cable benchmark should take
}

void backupOverCable(benchmark::State& state)
{
    const auto handset = mixedTree();
    double wall = 0;
    double model = 0;
    for (auto _ : state) {
        auto cable = std::make_shared<Emulator::Line>(Emulator::LinkModel{kRoundTrip, kBaud});
        const auto start = std::chrono::steady_clock::now();
        runBackup(Emulator::EmulatedPort::create(handset, cable), state);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        model += modelSeconds(cable->counters());
    }
    state.counters["model_s"] = model / static_cast<double>(state.iterations());
    state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
    state.counters["wall/model"] = wall / model;
}

// Kibibytes of a field of /proc/self/status ("VmRSS", "VmHWM").
double statusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) {
            return std::stod(line.substr(field.size() + 1));
        }
    }
    return 0;
}

// The handset's copy of the tree stays resident throughout; the peak is
// reset before the backup (clear_refs), so what the peak rises above the
// resident size at the start is what the backup held.
void backupMemory(benchmark::State& state)
{
    const std::uint64_t files = static_cast<std::uint64_t>(state.range(0));
    constexpr std::size_t kFileSize = 1 << 20;
    Emulator::Limits limits;
    limits.capacity = files * kFileSize + (1u << 20);
    Emulator::FileSystem fs(limits);
    std::mt19937 generator(16);
    std::vector<std::uint8_t> bytes(kFileSize);
    for (std::uint64_t f = 0; f < files; ++f) {
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(generator());
        }
        const std::string directory = "/dir" + std::to_string(f / 64);
        fs.addDirectory(utf16(directory), 0755, 1'600'000'000);
        fs.addFile(utf16(directory + "/file" + std::to_string(f) + ".bin"), bytes, 0644,
                   1'600'000'000);
    }
    bytes = {};
    const auto handset = std::make_shared<Emulator::Handset>(std::move(fs));
    double added = 0;
    for (auto _ : state) {
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        const double resident = statusKiB("VmRSS");
        runBackup(Emulator::EmulatedPort::create(handset), state);
        added = std::max(added, statusKiB("VmHWM") - resident);
    }
    state.counters["tree_MiB"] = static_cast<double>(files * kFileSize >> 20);
    state.counters["peak_added_KiB"] = added;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files * kFileSize));
}

} // namespace

BENCHMARK(backupRequests)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(backupMemory)
    ->Arg(1024)
    ->ArgName("MiB")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(backupOverCable)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
