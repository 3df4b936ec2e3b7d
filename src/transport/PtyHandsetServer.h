// The emulated handset on a pseudo-terminal: clients open the slave side as
// they would the serial port of a real handset, and the server answers on the
// master side, one HDLC frame for each request frame.
//
// Every request goes through Handset::exchange, so queued faults apply; the
// faults of a port are acted out on the line: latency delays the answer, a
// port that does not answer sends nothing, and a failing port sends a frame
// whose check sum is broken (line noise), which the client drops.
//
// Frames with a wrong check sum, and frames longer than any request, are
// dropped without an answer, as a handset's diagnostic task drops them; the
// client finds out by its timeout. Frames that arrive intact are the
// handset's to answer, with its error response when it cannot parse them.
//
// POSIX only.
#pragma once

#include "emulator/Handset.h"
#include "transport/Hdlc.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace Transport {

class PtyHandsetServer {
public:
    // Opens a pseudo-terminal pair in raw mode that serves `handset`. Throws
    // std::system_error.
    explicit PtyHandsetServer(std::shared_ptr<Emulator::Handset> handset);
    // Stops a server started with start() and closes the terminal.
    ~PtyHandsetServer();
    PtyHandsetServer(const PtyHandsetServer&) = delete;
    PtyHandsetServer& operator=(const PtyHandsetServer&) = delete;

    // The terminal clients open, for example "/dev/pts/3". It stays usable
    // for one client after another: the server holds the slave side open,
    // so a client that closes it does not hang up the line.
    const std::string& slavePath() const { return slavePath_; }

    // Serves on the calling thread until requestStop(). Throws
    // std::system_error when the terminal fails.
    void run();
    // Serves on a thread of its own until stop() or destruction.
    void start();
    // Makes run() return soon, also from a signal handler (async-signal-safe).
    void requestStop() noexcept;
    // requestStop(), then waits for the thread of start().
    void stop();

    struct Counters {
        std::uint64_t requests = 0;   // intact frames handed to the handset
        std::uint64_t badFrames = 0;  // dropped: check sum wrong or frame too long
        std::uint64_t unanswered = 0; // requests whose answer a port fault kept back
    };
    Counters counters() const;

private:
    void serve(const std::vector<std::uint8_t>& request);
    // Waits `milliseconds`; false when a stop was asked for meanwhile.
    bool pause(std::uint32_t milliseconds);
    void send(std::span<const std::uint8_t> response, bool breakCheckSum);

    std::shared_ptr<Emulator::Handset> handset_;
    int master_ = -1;
    int slave_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::string slavePath_;
    Hdlc::FrameReader reader_;
    std::vector<std::uint8_t> response_; // the handset's answer, framed into outgoing_
    std::vector<std::uint8_t> outgoing_;
    std::thread thread_;
    std::atomic<std::uint64_t> requests_{0};
    std::atomic<std::uint64_t> badFrames_{0};
    std::atomic<std::uint64_t> unanswered_{0};
};

} // namespace Transport
