// The diagnostic port of a handset on a byte-stream line, a serial line or a
// TCP connection: each request goes out as one frame, and the first frame
// that answers it comes back as the response.
// Log, event and message packets that the handset sends on its own are
// dropped on the way.
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
    struct Counters {
        std::uint64_t bytesSent = 0;
        std::uint64_t bytesReceived = 0;
        std::uint64_t framesDropped = 0; // unsolicited packets
        std::uint64_t badFrames = 0;     // check sum wrong or frame too long
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

    mutable std::mutex mutex_;
    std::unique_ptr<Line> line_;
    Hdlc::FrameReader reader_;
    std::vector<std::uint8_t> outgoing_;
    std::array<std::uint8_t, 4096> incoming_{};
    Counters counters_;
};

} // namespace Transport
