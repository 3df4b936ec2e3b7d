// The lines written to a port's log, kept in order; any thread may write.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace Emulator {

class LogBook {
public:
    void write(std::u16string line)
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    std::vector<std::u16string> lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::u16string> lines_;
};

} // namespace Emulator
