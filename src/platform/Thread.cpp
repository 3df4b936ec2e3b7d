#include "platform/Thread.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#include <functional>
#include <thread>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif
#endif

namespace Platform {

namespace {
thread_local SleepRecorder* activeRecorder = nullptr;
}

void sleepMilliseconds(std::uint32_t milliseconds)
{
    if (activeRecorder != nullptr) {
        activeRecorder->pauses_.push_back(milliseconds);
        return;
    }
#if defined(_WIN32)
    Sleep(milliseconds);
#else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
#endif
}

std::uint32_t currentThreadId()
{
#if defined(_WIN32)
    return GetCurrentThreadId();
#elif defined(__linux__)
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
#else
    return static_cast<std::uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
#endif
}

SleepRecorder::SleepRecorder()
    : outer_(activeRecorder)
{
    activeRecorder = this;
}

SleepRecorder::~SleepRecorder()
{
    activeRecorder = outer_;
}

} // namespace Platform
