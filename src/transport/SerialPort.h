// The diagnostic port of a handset on a byte-stream line, a serial line or a
// TCP connection: each request goes out as one frame, and the first frame
// that answers it comes back as the response.
// Log, event and message packets that the handset sends on its own are
// dropped on the way, and so is every frame that arrived before the request
// went out: it answers an earlier one.
//
// A request that got no answer in time may still be answered later, while
// the next one waits for its own answer; the line cannot tell the two apart.
// So after a timeout the port first sends a probe whose answer it can tell
// (an EFS2 READ on no descriptor, at an offset it chose) and drops every
// frame until that answer: the handset answers in order, so the line is then
// clear of late answers. The probe costs one exchange, after timeouts only.
#pragma once

#include "comserver/ComObject.h"
#include "diag/PortInterfaces.h"
#include "diag/ReservedSlots.h"
#include "platform/ComPtr.h"
#include "transport/Hdlc.h"
#include "transport/Line.h"
#include "transport/SerialLine.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace Transport {

// Failures SendRequest reports, with their Windows values.
inline constexpr HRESULT kTimeoutResult = static_cast<HRESULT>(0x800705B4u); // ERROR_TIMEOUT
inline constexpr HRESULT kBufferTooSmallResult =
    static_cast<HRESULT>(0x8007007Au); // ERROR_INSUFFICIENT_BUFFER
inline constexpr HRESULT kLineFailureResult =
    static_cast<HRESULT>(0x8007001Fu); // ERROR_GEN_FAILURE

// Whether `frame` answers `request`: it starts with the request's first byte,
// or it is one of the diagnostic protocol's error responses (bad command,
// parameters, length or mode), which echo the request after their code.
bool answersRequest(const std::uint8_t* request, std::size_t requestSize,
                    const std::vector<std::uint8_t>& frame);

class SerialPort final : public ComServer::ComObject<SerialPort, IDiagPort> {
public:
    // The timeout used when a caller passes 0.
    static constexpr std::uint32_t kDefaultTimeoutMs = 5000;

    // Opens the serial line. Throws std::system_error or std::invalid_argument.
    static Platform::ComPtr<IDiagPort> open(const SerialSettings& settings);
    // The port on a line opened already.
    static Platform::ComPtr<IDiagPort> open(std::unique_ptr<Line> line);

    // What crossed the line since the port was opened.
    // Every frame that arrives is counted once: as an answer, as dropped, or
    // as bad.
    struct Counters {
        std::uint64_t bytesSent = 0;
        std::uint64_t bytesReceived = 0;
        std::uint64_t framesAnswered = 0; // taken as the answer to a request or a probe
        std::uint64_t framesDropped = 0;  // unsolicited packets and late answers
        std::uint64_t badFrames = 0;      // check sum wrong or frame too long
        std::uint64_t probes = 0;         // sent after a request went unanswered
    };
    Counters counters() const;

    static std::span<const ComServer::InterfaceEntry<SerialPort>> interfaceTable();

    VORNAK_RESERVED_SLOTS_1_TO_3
    // `timeout` bounds the whole exchange in milliseconds; 0 means the default.
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG requestLength, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override;

private:
    friend ComObject;
    explicit SerialPort(std::unique_ptr<Line> line);

    HRESULT exchange(const BYTE* request, ULONG requestLength, Deadline deadline,
                     USHORT* responseLength, BYTE* response);
    void send(const std::uint8_t* payload, std::size_t size, Deadline deadline);
    // Feeds the frame reader from the bytes kept and then from the line until
    // a frame that `wanted` takes is complete (it is then reader_.frame());
    // other frames are counted as dropped or bad. False at the deadline.
    template <class Wanted>
    bool nextFrame(Deadline deadline, Wanted wanted);
    // Sends a probe and drops every frame before its answer. False when the
    // answer did not come by the deadline.
    bool settle(const BYTE* request, ULONG requestLength, Deadline deadline);

    mutable std::mutex mutex_;
    std::unique_ptr<Line> line_;
    Hdlc::FrameReader reader_;
    std::vector<std::uint8_t> outgoing_;
    std::array<std::uint8_t, 4096> incoming_{};
    std::size_t incomingUsed_ = 0; // bytes of incoming_ the reader has had
    std::size_t incomingSize_ = 0;
    bool settled_ = true;        // no request is waiting for an answer that may yet come
    std::uint32_t probeTag_ = 0; // the offset of the last probe
    Counters counters_;
};

} // namespace Transport
