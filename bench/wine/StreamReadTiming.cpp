// IStream::Read of 64 MiB through the module and an emulated handset in the
// same process, beside the same read through Efs::File alone and a plain
// copy in chunks of 512 bytes: what the COM layer and the protocol cost.
#include "Timing.h"

#include "diag/EFSOpen.h"
#include "diag/Efs2.h"
#include "efs/File.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "vornak/Vornak.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t kSize = 64u << 20;
constexpr std::uint32_t kChunk = Diag::Efs2::kMaxData;
constexpr std::uint8_t kSubsystem = Diag::Efs2::kFileSubsystem;
constexpr int kRuns = 5;

using Bench::expect;

} // namespace

int main()
{
    const Bench::InProcessModule module;
    const std::vector<std::uint8_t> original = Bench::patternBytes(kSize, kChunk);
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit([&](Emulator::FileSystem& fs) { fs.addFile(u"/big", original, 0666, 1000); });
    const auto port = Emulator::EmulatedPort::create(handset);
    std::vector<std::uint8_t> buffer(kSize);

    Platform::ComPtr<ITavoEFSFolder> folder;
    Bench::check(CoCreateInstance(CLSID_TavoEFSFolder, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITavoEFSFolder, folder.putVoid()),
                 "CoCreateInstance");
    Bench::check(folder->Connect(port.get(), 1000, Platform::Bstr(u"/").get(), kSubsystem),
                 "Connect");
    Platform::ComPtr<IStorage> storage;
    Bench::check(folder->QueryInterface(IID_IStorage, storage.putVoid()), "QueryInterface");
    const double throughModule = Bench::medianSeconds(kRuns, [&] {
        Platform::ComPtr<IStream> stream;
        Bench::check(storage->OpenStream(L"big", nullptr, STGM_READ, 0, stream.put()),
                     "OpenStream");
        ULONG got = 0;
        Bench::check(stream->Read(buffer.data(), kSize, &got), "Read");
        expect(got == kSize, "short read through the module");
    });
    expect(buffer == original, "the module read other bytes");

    // The same bytes with one call per packet: what each call through the
    // module costs, its guard and the stream's lock among it.
    std::fill(buffer.begin(), buffer.end(), 0);
    const double callPerPacket = Bench::medianSeconds(kRuns, [&] {
        Platform::ComPtr<IStream> stream;
        Bench::check(storage->OpenStream(L"big", nullptr, STGM_READ, 0, stream.put()),
                     "OpenStream");
        for (std::uint32_t offset = 0; offset < kSize; offset += kChunk) {
            Bench::check(stream->Read(buffer.data() + offset, kChunk, nullptr), "Read");
        }
    });
    expect(buffer == original, "the module read other bytes in calls of a packet");

    std::fill(buffer.begin(), buffer.end(), 0);
    const double throughFile = Bench::medianSeconds(kRuns, [&] {
        const std::int32_t fd =
            Diag::Efs::Open(port.get(), 1000, kSubsystem)
                .Execute(u"/big", Diag::Efs2::kOpenReadOnly, Diag::Efs2::kModeReadOnly);
        const auto file = Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port.get(), 1000, kSubsystem);
        expect(file->Read(buffer.data(), kSize) == kSize, "short read through Efs::File");
    });
    expect(buffer == original, "Efs::File read other bytes");

    const double plainCopy = Bench::medianSeconds(kRuns, [&] {
        for (std::uint32_t offset = 0; offset < kSize; offset += kChunk) {
            std::memcpy(buffer.data() + offset, original.data() + offset, kChunk);
        }
        volatile std::uint8_t last = buffer[kSize - 1];
        (void)last;
    });

    const double mebibytes = kSize / double(1 << 20);
    std::printf("64 MiB read in packets of 512 bytes, median of %d runs\n", kRuns);
    std::printf("%-34s %9s %9s %10s\n", "", "seconds", "MiB/s", "us/packet");
    const struct {
        const char* what;
        double seconds;
    } rows[] = {{"IStream::Read through the module", throughModule},
                {"IStream::Read, one call per packet", callPerPacket},
                {"Efs::File::Read alone", throughFile},
                {"memcpy in 512-byte chunks", plainCopy}};
    for (const auto& row : rows) {
        std::printf("%-34s %9.3f %9.1f %10.3f\n", row.what, row.seconds, mebibytes / row.seconds,
                    row.seconds / (kSize / kChunk) * 1e6);
    }
    std::printf("module / Efs::File: %.3f\n", throughModule / throughFile);
    std::printf("a call per packet / one call: %.3f\n", callPerPacket / throughModule);
    std::printf("Efs::File / memcpy: %.1f\n", throughFile / plainCopy);
    std::printf("memcpy / module: %.1f %%\n", 100 * plainCopy / throughModule);
    return 0;
}
