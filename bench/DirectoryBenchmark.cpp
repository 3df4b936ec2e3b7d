// EFSDir::ReadAll of 10,000 and 100,000 entries through the in-process
// emulator: the time per entry should not grow with the directory.
#include "AllocationCounter.h"
#include "efs/EFSDir.h"
#include "emulator/EmulatedPort.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void readAll(benchmark::State& state)
{
    const auto entries = static_cast<std::uint32_t>(state.range(0));
    Emulator::Limits limits;
    limits.maxDirectoryEntries = entries;
    auto handset = std::make_shared<Emulator::Handset>(Emulator::FileSystem(limits));
    handset->edit([&](Emulator::FileSystem& fs) {
        fs.addDirectory(u"/many");
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::string name = "/many/item_" + std::to_string(i);
            fs.addFile(std::u16string(name.begin(), name.end()), {});
        }
    });
    auto port = Emulator::EmulatedPort::create(handset);
    for (auto _ : state) {
        EFSDir dir(port.get(), 1000, 19);
        dir.OpenDir(u"/many");
        const auto list = dir.ReadAll();
        if (list.size() != entries) {
            state.SkipWithError("wrong number of entries");
            break;
        }
    }
    state.counters["per entry"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * entries,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(readAll)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
