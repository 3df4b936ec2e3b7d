// A model of the cable between a client and the emulated handset, for timing
// that shows what a user with a real handset would see: each exchange takes
// a round trip, plus its bytes (request and answer frames) at the line's
// rate, ten bits a byte as a serial line sends them (start, eight data bits,
// stop).
//
// Waits are kept to the model over many exchanges: whatever the host's sleep
// oversleeps is taken off the next wait, so a run of exchanges lasts as long
// as the model says, and only what the two ends spend on their own comes on
// top. One exchange is on the line at a time, as on a cable.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace Emulator {

struct LinkModel {
    std::chrono::microseconds roundTrip{0};
    std::uint32_t baud = 0; // 0: bytes take no time

    // The time one exchange whose frames take `lineBytes` bytes lasts.
    std::chrono::nanoseconds exchangeTime(std::uint64_t lineBytes) const;
    bool isInstant() const { return roundTrip.count() == 0 && baud == 0; }
};

class Line {
public:
    using Clock = std::chrono::steady_clock;

    explicit Line(const LinkModel& model);

    const LinkModel& model() const { return model_; }

    // Holds the caller until an exchange that began at `sent` and whose
    // frames take `lineBytes` bytes would have ended on the modelled cable.
    void carry(std::uint64_t lineBytes, Clock::time_point sent);

    struct Counters {
        std::uint64_t exchanges = 0;
        std::uint64_t bytes = 0; // both directions, as framed on the line
    };
    Counters counters() const;

private:
    LinkModel model_;
    mutable std::mutex mutex_;
    Counters counters_;
    std::chrono::nanoseconds overslept_{0}; // still to be taken off later waits
};

} // namespace Emulator
