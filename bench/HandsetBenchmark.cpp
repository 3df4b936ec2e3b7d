// The emulated handset answering one request of each kind into the port's
// buffer: the time per request and the heap allocations it makes. Requests
// that add a name or grow a file allocate as the file system grows; these
// do neither, and should allocate nothing.
#include "AllocationCounter.h"
#include "diag/Efs2.h"
#include "diag/LittleEndian.h"
#include "emulator/Handset.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

namespace Efs2 = Diag::Efs2;

std::vector<std::uint8_t> efs2(std::uint16_t command, const std::vector<std::uint8_t>& body)
{
    std::vector<std::uint8_t> packet(Efs2::kHeaderSize + body.size());
    packet[0] = Efs2::kSubsystemDispatch;
    packet[1] = Efs2::kFileSubsystem;
    Diag::LittleEndian::write16(&packet[2], command);
    std::copy(body.begin(), body.end(), packet.begin() + Efs2::kHeaderSize);
    return packet;
}

std::vector<std::uint8_t> text(std::string_view path)
{
    std::vector<std::uint8_t> bytes(path.size() + 1);
    std::copy(path.begin(), path.end(), bytes.begin());
    return bytes;
}

// Fields, then `tail`.
std::vector<std::uint8_t> u32s(std::initializer_list<std::uint32_t> values,
                               const std::vector<std::uint8_t>& tail = {})
{
    std::vector<std::uint8_t> bytes(4 * values.size() + tail.size());
    std::size_t at = 0;
    for (const std::uint32_t value : values) {
        Diag::LittleEndian::write32(&bytes[at], value);
        at += 4;
    }
    std::copy(tail.begin(), tail.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

// Descriptor 0 is /data/file, open for reading and writing; directory handle
// 1 is /data.
std::shared_ptr<Emulator::Handset> handsetWithOpenFile()
{
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit([](Emulator::FileSystem& fs) {
        fs.addFile(u"/data/file", std::vector<std::uint8_t>(4096, 0x5A));
        fs.addLink(u"/link", u"data/file");
        fs.addDirectory(u"/data/sub");
    });
    handset->respond(efs2(Efs2::Open, u32s({2, 0}, text("/data/file"))));
    handset->respond(efs2(Efs2::OpenDir, text("/data")));
    return handset;
}

void answer(benchmark::State& state, std::vector<std::uint8_t> request)
{
    const auto handset = handsetWithOpenFile();
    std::vector<std::uint8_t> response(handset->responseCapacity());
    Bench::AllocationScope allocations;
    for (auto _ : state) {
        benchmark::DoNotOptimize(handset->exchange(request, response).length);
    }
    state.counters["allocs/request"] = benchmark::Counter(static_cast<double>(allocations.count()),
                                                          benchmark::Counter::kAvgIterations);
}

std::vector<std::uint8_t> write512()
{
    return efs2(Efs2::Write, u32s({0, 1024}, std::vector<std::uint8_t>(512, 0x33)));
}

} // namespace

BENCHMARK_CAPTURE(answer, read_512, efs2(Efs2::Read, u32s({0, 512, 1024})));
BENCHMARK_CAPTURE(answer, write_512_in_place, write512());
BENCHMARK_CAPTURE(answer, fstat, efs2(Efs2::FStat, u32s({0})));
BENCHMARK_CAPTURE(answer, lstat, efs2(Efs2::LStat, text("/data/file")));
BENCHMARK_CAPTURE(answer, stat_through_link, efs2(Efs2::Stat, text("/link")));
BENCHMARK_CAPTURE(answer, readdir, efs2(Efs2::ReadDir, u32s({1, 1})));
BENCHMARK_CAPTURE(answer, hello, efs2(Efs2::Hello, std::vector<std::uint8_t>(40)));
BENCHMARK_CAPTURE(answer, log_config, std::vector<std::uint8_t>{0x73, 0, 0, 0, 0, 0, 0, 0});
BENCHMARK_CAPTURE(answer, unknown_command, std::vector<std::uint8_t>{0xFE, 1, 2});

BENCHMARK_MAIN();
