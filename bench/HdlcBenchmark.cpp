// Framing cost of one 512-byte READ response on a serial line: bytes on the
// wire per payload byte, and the time to frame and to take the frame apart.
#include "AllocationCounter.h"
#include "transport/Hdlc.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// A READ response carrying 512 bytes of `fill` (random bytes by default).
std::vector<std::uint8_t> readResponse(int fill)
{
    std::vector<std::uint8_t> response(20 + 512);
    std::mt19937 random(7);
    for (std::size_t i = 20; i < response.size(); ++i) {
        response[i] =
            static_cast<std::uint8_t>(fill >= 0 ? fill : static_cast<int>(random() & 0xFF));
    }
    response[0] = 0x4B;
    response[1] = 0x13;
    response[2] = 0x04;
    response[13] = 0x02; // count 512
    return response;
}

void framing(benchmark::State& state)
{
    const std::vector<std::uint8_t> response = readResponse(static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> wire;
    wire.reserve(2 * response.size() + 4);
    Transport::Hdlc::FrameReader reader;
    Bench::AllocationScope allocations;
    for (auto _ : state) {
        wire.clear();
        Transport::Hdlc::appendFrame(response.data(), response.size(), wire);
        std::size_t used = 0;
        if (reader.feed(wire.data(), wire.size(), &used) !=
            Transport::Hdlc::FrameReader::Status::Frame) {
            state.SkipWithError("frame not read back");
            break;
        }
        benchmark::DoNotOptimize(reader.frame().data());
    }
    state.counters["wire/payload"] = static_cast<double>(wire.size()) / 512.0;
    state.counters["allocs/frame"] = benchmark::Counter(static_cast<double>(allocations.count()),
                                                        benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 512);
}

} // namespace

// Random data, the worst case (every byte 0x7E), and data that needs no escape.
BENCHMARK(framing)->Arg(-1)->Arg(0x7E)->Arg(0x55)->ArgName("fill");

BENCHMARK_MAIN();
