// A 1 MiB `vornak-efs get` over a pseudo-terminal: the tool's read path, the
// serial port and the emulated handset behind the pty server. What crossed
// the line per payload byte, against the protocol's minimum, and throughput.
// Time is wall-clock time: the line's round trips, not the processor, bound it.
#include "emulator/Handset.h"
#include "tools/vornak-efs/Session.h"
#include "tools/vornak-efs/Transfer.h"
#include "transport/PtyHandsetServer.h"
#include "transport/SerialPort.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr std::size_t kFileSize = 1 << 20;
constexpr double kPacket = 512.0;
// Each 512-byte READ: a 16-byte request and a 532-byte response, each framed
// with its two check-sum bytes and the closing flag, nothing escaped.
constexpr double kMinimumPerPacket = (16 + 3) + (532 + 3);

// Random bytes, or a fill that needs no escaping.
std::vector<std::uint8_t> content(bool random)
{
    std::vector<std::uint8_t> bytes(kFileSize, 0x55);
    if (random) {
        std::mt19937 generator(11);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(generator());
        }
    }
    return bytes;
}

void getOverPty(benchmark::State& state)
{
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit(
        [&](Emulator::FileSystem& fs) { fs.addFile(u"/big.bin", content(state.range(0) != 0)); });
    Transport::PtyHandsetServer server(handset);
    server.start();
    auto port = Transport::SerialPort::open({server.slavePath(), 115200});
    const auto& serial = *static_cast<Transport::SerialPort*>(port.get());
    VornakEfs::Session session(port, 5000, 19);

    std::uint64_t wire = 0;
    std::uint64_t payload = 0;
    for (auto _ : state) {
        const auto before = serial.counters();
        payload += VornakEfs::readHandsetFile(
            session, u"/big.bin", nullptr,
            [](const std::uint8_t* bytes, std::size_t) { benchmark::DoNotOptimize(bytes); });
        const auto after = serial.counters();
        wire += (after.bytesSent - before.bytesSent) + (after.bytesReceived - before.bytesReceived);
    }
    const double perByte = static_cast<double>(wire) / static_cast<double>(payload);
    const double minimum = kMinimumPerPacket / kPacket;
    state.counters["wire/payload"] = perByte;
    state.counters["minimum"] = minimum;
    state.counters["vs_minimum"] = perByte / minimum;
    state.counters["us/packet"] =
        benchmark::Counter(static_cast<double>(payload) / kPacket * 1e-6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<std::int64_t>(payload));
}

} // namespace

BENCHMARK(getOverPty)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("random")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
