// The operating-system calls of the core about threads: pausing the calling
// thread and naming it. Tests observe the pauses instead of waiting them out.
#pragma once

#include <cstdint>
#include <vector>

namespace Platform {

// Pauses the calling thread, or records the pause when a SleepRecorder lives
// on this thread.
void sleepMilliseconds(std::uint32_t milliseconds);

// The operating system's identifier of the calling thread.
std::uint32_t currentThreadId();

// While it lives, the pauses asked for on its thread are recorded, not slept.
class SleepRecorder {
public:
    SleepRecorder();
    ~SleepRecorder();
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;

    const std::vector<std::uint32_t>& pauses() const { return pauses_; }

private:
    friend void sleepMilliseconds(std::uint32_t milliseconds);
    std::vector<std::uint32_t> pauses_;
    SleepRecorder* outer_;
};

} // namespace Platform
