// What the timing programs of the COM module share: the module's classes
// registered in this process, so that its objects create one another as
// they would from the registered module, and a median of repeated runs.
#pragma once

#include "platform/Com.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace Bench {

// The module linked into the program, with each class object registered
// for the process while the object lives; COM is initialised in the
// multithreaded apartment meanwhile.
class InProcessModule {
public:
    InProcessModule();
    ~InProcessModule();
    InProcessModule(const InProcessModule&) = delete;
    InProcessModule& operator=(const InProcessModule&) = delete;

private:
    std::vector<DWORD> cookies_;
};

// The median, in seconds, of `runs` runs of `run`.
template <class Run>
double medianSeconds(int runs, Run&& run)
{
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

// Ends the program with a message when `hr` is a failure.
void check(HRESULT hr, const char* what);
// Ends the program with `what` when `condition` is false.
void expect(bool condition, const char* what);

// `size` bytes that differ from packet to packet of `packet` bytes, so that a
// packet read or written in the wrong place shows.
std::vector<std::uint8_t> patternBytes(std::uint32_t size, std::uint32_t packet);

} // namespace Bench
