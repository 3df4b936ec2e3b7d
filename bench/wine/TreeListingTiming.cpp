// RecursiveDirList through the module over an emulated handset in the same
// process: the time for trees of 10,000 and 100,000 entries, and how it grows.
#include "Timing.h"

#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "vornak/Vornak.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

// Directories of this many files each: a handset directory holds at most
// 4,096 entries.
constexpr int kFilesPerDirectory = 999;

// A handset whose root holds entries / 1,000 directories of 999 files each:
// `entries` entries below the root in all.
std::shared_ptr<Emulator::Handset> handsetWithTree(int entries)
{
    auto handset = std::make_shared<Emulator::Handset>();
    handset->edit([&](Emulator::FileSystem& fs) {
        const std::uint8_t byte = 1;
        for (int d = 0; d < entries / (kFilesPerDirectory + 1); ++d) {
            std::u16string directory = u"/d";
            for (const char c : std::to_string(d)) {
                directory += static_cast<char16_t>(c);
            }
            fs.addDirectory(directory, 0777, 1000);
            for (int f = 0; f < kFilesPerDirectory; ++f) {
                std::u16string file = directory + u"/file";
                for (const char c : std::to_string(f)) {
                    file += static_cast<char16_t>(c);
                }
                fs.addFile(file, {&byte, 1}, 0666, 1000);
            }
        }
    });
    return handset;
}

// Seconds per listing of the whole tree, the median of `runs`.
double timeListing(int entries, int runs)
{
    const auto port = Emulator::EmulatedPort::create(handsetWithTree(entries));
    Platform::ComPtr<ITavoEFSFolder> folder;
    Bench::check(CoCreateInstance(CLSID_TavoEFSFolder, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITavoEFSFolder, folder.putVoid()),
                 "CoCreateInstance");
    Bench::check(folder->Connect(port.get(), 1000, Platform::Bstr(u"/").get(), 19), "Connect");
    return Bench::medianSeconds(runs, [&] {
        Platform::ComPtr<IUnknown> listing;
        Bench::check(folder->RecursiveDirList(listing.put()), "RecursiveDirList");
        Platform::ComPtr<ITavoEFSEnum> entriesListed;
        Bench::check(listing->QueryInterface(IID_ITavoEFSEnum, entriesListed.putVoid()),
                     "QueryInterface");
        LONG count = 0;
        Bench::check(entriesListed->get_Count(&count), "Count");
        if (count != entries) {
            std::fprintf(stderr, "listed %ld entries of %d\n", static_cast<long>(count), entries);
            std::exit(1);
        }
    });
}

// Seconds per debugger line of the length the listing writes, the median of
// `runs` runs of 10,000 lines: the share of the trace in a listing.
double timeTraceLine(int runs)
{
    const std::wstring line = L"/d42/file123\n";
    return Bench::medianSeconds(runs,
                                [&] {
                                    for (int i = 0; i < 10000; ++i) {
                                        OutputDebugStringW(line.c_str());
                                    }
                                }) /
           10000;
}

} // namespace

int main()
{
    const Bench::InProcessModule module;
    constexpr int kRuns = 5;
    const double small = timeListing(10000, kRuns);
    const double large = timeListing(100000, kRuns);
    std::printf("RecursiveDirList, in-process emulated port, median of %d runs\n", kRuns);
    std::printf("%8s %10s %14s\n", "entries", "seconds", "us per entry");
    std::printf("%8d %10.3f %14.1f\n", 10000, small, small / 10000 * 1e6);
    std::printf("%8d %10.3f %14.1f\n", 100000, large, large / 100000 * 1e6);
    std::printf("growth for 10 times the entries: %.2f\n", large / small);
    std::printf("of which one debugger line (OutputDebugStringW): %.1f us\n",
                timeTraceLine(kRuns) * 1e6);
    return 0;
}
