// A serial line that misbehaves on purpose, between a client and a handset
// served on a pseudo-terminal: the client opens the terminal this line
// offers, and the line opens the handset's as a client would. It relays
// frame by frame and, as its seed decides, flips bits, drops and duplicates
// bytes, cuts frames short, puts garbage or unsolicited log and event packets
// before them, loses them, or holds them back for a while (keeping their
// order). The same seed makes the same decisions for the same traffic.
//
// Damage the check sum could not see (one damaged frame in 65,536 passes
// CRC-16 by chance) is never made: the line tries another, as the test is of
// the ports, not of the check sum. Every frame the line delivers is tallied
// as the receiver's frame reader will see it, so the ports' counters can be
// checked against what really crossed. POSIX only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport {

// What the line does to the frames of one direction: the chance of each
// kind of damage, in thousandths of the frames.
struct LineDamage {
    unsigned flipBit = 0;
    unsigned dropByte = 0;
    unsigned duplicateByte = 0;
    unsigned cutShort = 0;
    unsigned garbage = 0;     // noise, then a flag, before the frame
    unsigned unsolicited = 0; // a log, event or message packet before the frame
    unsigned lose = 0;        // the frame never arrives
    unsigned shortStall = 0;  // the frame, and what follows, comes late
    unsigned longStall = 0;
    unsigned shortStallMs = 5;
    unsigned longStallMs = 200;
};

class HostileLine {
public:
    // What crossed in one direction.
    struct Tally {
        std::uint64_t bytesTaken = 0;     // read from the sender
        std::uint64_t bytesDelivered = 0; // written to the receiver
        std::uint64_t frames = 0;         // frames of the sender's
        std::uint64_t damaged = 0;        // of those, changed, lost or held back
        std::uint64_t goodFrames = 0;     // frames with a good check sum delivered
        std::uint64_t badFrames = 0;      // frames the receiver will drop as bad
    };

    // Relays between a new terminal and `handsetDevice`. `clientMaxPayload`
    // and `handsetMaxPayload` are the frame readers' bounds at either end.
    HostileLine(const std::string& handsetDevice, std::uint64_t seed, const LineDamage& toHandset,
                const LineDamage& toClient, std::size_t handsetMaxPayload = 4096,
                std::size_t clientMaxPayload = 8192);
    ~HostileLine();
    HostileLine(const HostileLine&) = delete;
    HostileLine& operator=(const HostileLine&) = delete;

    // The terminal the client opens.
    const std::string& clientDevice() const { return clientDevice_; }

    // With damage off every frame passes whole and at once (behind any held
    // back before).
    void setDamaging(bool damaging);
    // Waits until nothing is held back or waiting to be written.
    void waitUntilIdle();

    Tally toHandset() const;
    Tally toClient() const;

private:
    struct Direction {
        Direction(int from, int to, std::uint64_t seed, const LineDamage& damage,
                  std::size_t maxPayload, bool unsolicitedAllowed);
        int from;
        int to;
        std::mt19937_64 random;
        LineDamage damage;
        std::size_t maxPayload;
        std::vector<std::uint8_t> partial; // bytes of a frame whose flag has not come
        struct Held {
            std::chrono::steady_clock::time_point due;
            std::vector<std::uint8_t> bytes;
        };
        std::deque<Held> held;
        std::chrono::steady_clock::time_point lastDue;
        Tally tally;
    };

    void run();
    // Takes what the sender of `direction` has written so far.
    void take(Direction& direction);
    void relayFrame(Direction& direction, const std::vector<std::uint8_t>& frame);
    std::vector<std::uint8_t> damaged(Direction& direction, const std::vector<std::uint8_t>& frame,
                                      unsigned& stallMs);
    void deliver(Direction& direction);

    std::string clientDevice_;
    int clientMaster_ = -1;
    int clientSlave_ = -1; // kept open so the line never hangs up between clients
    int handset_ = -1;
    int stopPipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    bool damaging_ = true;
    std::deque<Direction> directions_; // to the handset, to the client
    std::thread thread_;
};

} // namespace TestSupport
