// One 512-byte READ transaction through the in-process emulator: the time per
// packet, and the heap allocations per packet of the client and the emulator
// together.
#include "AllocationCounter.h"
#include "diag/EFSClose.h"
#include "diag/EFSOpen.h"
#include "diag/EFSRead.h"
#include "emulator/EmulatedPort.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void readTransaction(benchmark::State& state)
{
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit(
        [](Emulator::FileSystem& fs) { fs.addFile(u"/f", std::vector<std::uint8_t>(4096, 0x5A)); });
    auto port = Emulator::EmulatedPort::create(handset);
    const std::int32_t fd = Diag::Efs::Open(port.get(), 1000, 19).Execute(u"/f", 0, 0);
    std::uint8_t buffer[512];

    CEFSRead read(port.get(), 1000, 19);
    Bench::AllocationScope allocations;
    for (auto _ : state) {
        benchmark::DoNotOptimize(read.Execute(buffer, fd, 512, 1024));
    }
    state.counters["allocs/packet"] = benchmark::Counter(static_cast<double>(allocations.count()),
                                                         benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 512);
    CEFSClose(port.get(), 1000, 19).Execute(fd);
}

} // namespace

BENCHMARK(readTransaction);

BENCHMARK_MAIN();
