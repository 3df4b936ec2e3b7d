// IStream::Write of 64 MiB through the module and an emulated handset in the
// same process, beside the same write through Efs::File alone and a plain
// copy in chunks of 512 bytes: what the COM layer and the protocol cost on
// the way to the handset.
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
    const auto port = Emulator::EmulatedPort::create(handset);
    const auto written = [&] {
        std::vector<std::uint8_t> bytes;
        expect(handset->readFile(u"/big", bytes) == 0, "the file is not there");
        return bytes == original;
    };

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
        Bench::check(storage->CreateStream(L"big", STGM_WRITE, 0, 0, stream.put()), "CreateStream");
        ULONG put = 0;
        Bench::check(stream->Write(original.data(), kSize, &put), "Write");
        expect(put == kSize, "short write through the module");
    });
    expect(written(), "the module wrote other bytes");

    const double throughFile = Bench::medianSeconds(kRuns, [&] {
        const std::int32_t fd =
            Diag::Efs::Open(port.get(), 1000, kSubsystem)
                .Execute(u"/big", Diag::Efs2::kOpenCreateForWriting, Diag::Efs2::kModeReadWrite);
        const auto file = Rc::makeHeap<Efs::File, Efs::FileBase>(fd, port.get(), 1000, kSubsystem);
        expect(file->Write(original.data(), kSize, nullptr) == kSize,
               "short write through Efs::File");
    });
    expect(written(), "Efs::File wrote other bytes");

    std::vector<std::uint8_t> buffer(kSize);
    const double plainCopy = Bench::medianSeconds(kRuns, [&] {
        for (std::uint32_t offset = 0; offset < kSize; offset += kChunk) {
            std::memcpy(buffer.data() + offset, original.data() + offset, kChunk);
        }
        volatile std::uint8_t last = buffer[kSize - 1];
        (void)last;
    });

    const double mebibytes = kSize / double(1 << 20);
    std::printf("64 MiB written in packets of 512 bytes, median of %d runs\n", kRuns);
    std::printf("%-34s %9s %9s %10s\n", "", "seconds", "MiB/s", "us/packet");
    const struct {
        const char* what;
        double seconds;
    } rows[] = {{"IStream::Write through the module", throughModule},
                {"Efs::File::Write alone", throughFile},
                {"memcpy in 512-byte chunks", plainCopy}};
    for (const auto& row : rows) {
        std::printf("%-34s %9.3f %9.1f %10.3f\n", row.what, row.seconds, mebibytes / row.seconds,
                    row.seconds / (kSize / kChunk) * 1e6);
    }
    std::printf("module / Efs::File: %.3f\n", throughModule / throughFile);
    std::printf("memcpy / module: %.1f %%\n", 100 * plainCopy / throughModule);
    return 0;
}
