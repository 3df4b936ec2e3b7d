// The emulated handset served on a byte stream, as a handset's diagnostic
// port serves its line: one HDLC frame answered for each request frame. The
// subclasses say where the streams come from: a pseudo-terminal, or the TCP
// connections of one client after another.
//
// Every request goes through Handset::exchange, so queued faults apply; the
// faults of a port are acted out on the line: latency delays the answer, a
// port that does not answer sends nothing, and a failing port sends a frame
// whose check sum is broken (line noise), which the client drops.
//
// Frames with a wrong check sum, and frames longer than any request, are
// dropped without an answer, as a handset's diagnostic task drops them; the
// client finds out by its timeout. Frames that arrive intact are the
// handset's to answer, with a refusal ("bad length", ...) when it cannot
// parse them.
//
// POSIX only.
#pragma once

#include "emulator/Handset.h"
#include "emulator/Line.h"
#include "platform/UniqueAny.h"
#include "transport/Hdlc.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

namespace Transport {

// A file descriptor, closed by its owner.
struct DescriptorTraits {
    using Type = int;
    static constexpr int invalid() noexcept { return -1; }
    static void close(int descriptor) noexcept;
};
using Descriptor = Platform::UniqueAny<DescriptorTraits>;

class HandsetServer {
public:
    // Subclasses call stop() in their destructors, before they close what
    // the serving thread uses.
    virtual ~HandsetServer();
    HandsetServer(const HandsetServer&) = delete;
    HandsetServer& operator=(const HandsetServer&) = delete;

    // Makes each answer take as long as on the cable `line` models (the round
    // trip, then the request's and the answer's frames at its rate). Call it
    // before serving.
    void setLine(std::shared_ptr<Emulator::Line> line) { line_ = std::move(line); }

    // Serves on the calling thread until requestStop(). Throws
    // std::system_error when the line or the listening socket fails.
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
        std::uint64_t clients = 0;    // connections served, for servers that take them
    };
    Counters counters() const;

protected:
    // Throws std::system_error.
    explicit HandsetServer(std::shared_ptr<Emulator::Handset> handset);

    // Serves until a stop is requested (see serveStream and waitReadable).
    virtual void serveClients() = 0;

    // Serves the frames that arrive on the descriptor `stream` and answers
    // on it. True when the stream ended (the client closed it), false when a
    // stop was requested. Throws std::system_error when the stream fails.
    bool serveStream(int stream);
    // Waits until `descriptor` can be read; false when a stop was requested.
    bool waitReadable(int descriptor);
    void countClient() { ++clients_; }

private:
    void serve(int stream, const std::vector<std::uint8_t>& request);
    // Waits `milliseconds`; false when a stop was asked for meanwhile.
    bool pause(std::uint32_t milliseconds);
    void send(int stream, std::span<const std::uint8_t> response, bool breakCheckSum);
    void drainStopRequests();

    std::shared_ptr<Emulator::Handset> handset_;
    std::shared_ptr<Emulator::Line> line_; // null: answers go at once
    Descriptor stopReading_; // the pipe that wakes the serving thread to stop
    Descriptor stopWriting_;
    Hdlc::FrameReader reader_;
    std::vector<std::uint8_t> response_; // the handset's answer, framed into outgoing_
    std::vector<std::uint8_t> outgoing_;
    std::thread thread_;
    std::atomic<std::uint64_t> requests_{0};
    std::atomic<std::uint64_t> badFrames_{0};
    std::atomic<std::uint64_t> unanswered_{0};
    std::atomic<std::uint64_t> clients_{0};
};

} // namespace Transport
