// Efs::File moving 64 MiB through the in-process emulator, beside a plain copy
// of the same bytes in 512-byte chunks: the ratio is what the protocol layers
// cost over moving the bytes at all. Allocations are the client's, per packet.
#include "AllocationCounter.h"
#include "ClientOnlyPort.h"
#include "diag/EFSOpen.h"
#include "efs/File.h"
#include "emulator/EmulatedPort.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kSize = 64u << 20;
constexpr double kPackets = kSize / 512.0;

struct Setup {
    std::shared_ptr<Emulator::Handset> handset = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<IDiagPort> device = Emulator::EmulatedPort::create(handset);
    Platform::ComPtr<IDiagPort> port = Bench::ClientOnlyPort::create(device.get());
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kSize, 0x3C);

    Rc::Pointer<Efs::FileBase> open(std::uint32_t flags)
    {
        const std::int32_t fd = Diag::Efs::Open(port.get(), 1000, 19).Execute(u"/big", flags, 0666);
        return Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port.get(), 1000u, std::uint8_t{19});
    }
};

void plainCopy(benchmark::State& state)
{
    std::vector<std::uint8_t> from(kSize, 0x3C), to(kSize);
    for (auto _ : state) {
        for (std::uint32_t offset = 0; offset < kSize; offset += 512) {
            std::memcpy(to.data() + offset, from.data() + offset, 512);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}

void fileRead(benchmark::State& state)
{
    Setup setup;
    setup.handset->edit([&](Emulator::FileSystem& fs) { fs.addFile(u"/big", setup.bytes); });
    std::vector<std::uint8_t> buffer(kSize);
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        auto file = setup.open(Diag::Efs2::kOpenReadOnly);
        Bench::AllocationScope scope;
        benchmark::DoNotOptimize(file->Read(buffer.data(), kSize));
        allocations += scope.count();
    }
    state.counters["allocs/packet"] =
        static_cast<double>(allocations) / (kPackets * static_cast<double>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}

void fileWrite(benchmark::State& state)
{
    Setup setup;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        auto file = setup.open(Diag::Efs2::kOpenCreateForWriting);
        Bench::AllocationScope scope;
        benchmark::DoNotOptimize(file->Write(setup.bytes.data(), kSize, nullptr));
        allocations += scope.count();
    }
    state.counters["allocs/packet"] =
        static_cast<double>(allocations) / (kPackets * static_cast<double>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}

} // namespace

BENCHMARK(plainCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(fileRead)->Unit(benchmark::kMillisecond);
BENCHMARK(fileWrite)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
