#include "emulator/Line.h"

#include <thread>

namespace Emulator {

namespace {

constexpr std::uint64_t kBitsPerByte = 10;

} // namespace

std::chrono::nanoseconds LinkModel::exchangeTime(std::uint64_t lineBytes) const
{
    std::chrono::nanoseconds time = roundTrip;
    if (baud != 0) {
        time += std::chrono::nanoseconds(lineBytes * kBitsPerByte * 1'000'000'000u / baud);
    }
    return time;
}

Line::Line(const LinkModel& model)
    : model_(model)
{}

void Line::carry(std::uint64_t lineBytes, Clock::time_point sent)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.exchanges;
    counters_.bytes += lineBytes;
    std::chrono::nanoseconds wait = model_.exchangeTime(lineBytes);
    if (overslept_ >= wait) {
        overslept_ -= wait;
        return;
    }
    wait -= overslept_;
    const Clock::time_point due = sent + wait;
    std::this_thread::sleep_until(due);
    const Clock::time_point woke = Clock::now();
    overslept_ = woke > due ? std::chrono::duration_cast<std::chrono::nanoseconds>(woke - due)
                            : std::chrono::nanoseconds(0);
}

Line::Counters Line::counters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

} // namespace Emulator
