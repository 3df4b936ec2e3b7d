#include "transport/SerialPort.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace Transport {

namespace {

// First bytes of the diagnostic protocol's own error responses.
constexpr std::uint8_t kBadCommand = 19;
constexpr std::uint8_t kBadParameters = 20;
constexpr std::uint8_t kBadLength = 21;
constexpr std::uint8_t kBadMode = 24;

HRESULT resultOf(const std::system_error& error)
{
    if (error.code() == std::errc::timed_out) {
        return kTimeoutResult;
    }
#if defined(_WIN32)
    if (error.code().category() == std::system_category()) {
        return HRESULT_FROM_WIN32(static_cast<DWORD>(error.code().value()));
    }
#endif
    return kLineFailureResult;
}

} // namespace

bool answersRequest(const std::uint8_t* request, std::size_t requestSize,
                    const std::vector<std::uint8_t>& frame)
{
    if (frame.empty() || requestSize == 0) {
        return false;
    }
    const std::uint8_t first = frame[0];
    return first == request[0] || first == kBadCommand || first == kBadParameters ||
           first == kBadLength || first == kBadMode;
}

Platform::ComPtr<IDiagPort> SerialPort::open(const SerialSettings& settings)
{
    return open(std::make_unique<SerialLine>(settings));
}

Platform::ComPtr<IDiagPort> SerialPort::open(std::unique_ptr<Line> line)
{
    return make<IDiagPort>(std::move(line));
}

SerialPort::SerialPort(std::unique_ptr<Line> line)
    : line_(std::move(line))
{
    outgoing_.reserve(2 * 2100 + 4);
}

SerialPort::Counters SerialPort::counters() const
{
    std::lock_guard lock(mutex_);
    return counters_;
}

std::span<const ComServer::InterfaceEntry<SerialPort>> SerialPort::interfaceTable()
{
    static constexpr ComServer::InterfaceEntry<SerialPort> table[] = {
        ComServer::interfaceEntry<SerialPort, IDiagPort>(IID_IDiagPort),
    };
    return table;
}

HRESULT SerialPort::SendRequest(ULONG requestLength, const BYTE* request, ULONG, ULONG,
                                ULONG timeout, USHORT* responseLength, BYTE* response)
{
    if (request == nullptr || requestLength == 0 || responseLength == nullptr ||
        (response == nullptr && *responseLength != 0)) {
        return E_POINTER;
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeout != 0 ? timeout : kDefaultTimeoutMs);
    std::lock_guard lock(mutex_);
    try {
        return exchange(request, requestLength, deadline, responseLength, response);
    } catch (const std::system_error& error) {
        return resultOf(error);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT SerialPort::exchange(const BYTE* request, ULONG requestLength, Deadline deadline,
                             USHORT* responseLength, BYTE* response)
{
    // Whatever arrived before this request answers an earlier one.
    line_->discardInput();
    reader_.reset();

    outgoing_.clear();
    Hdlc::appendFrame(request, requestLength, outgoing_);
    line_->write(outgoing_.data(), outgoing_.size(), deadline);
    counters_.bytesSent += outgoing_.size();

    for (;;) {
        const std::size_t got = line_->read(incoming_.data(), incoming_.size(), deadline);
        if (got == 0) {
            return kTimeoutResult;
        }
        counters_.bytesReceived += got;
        std::size_t used = 0;
        while (used < got) {
            switch (reader_.feed(incoming_.data(), got, &used)) {
            case Hdlc::FrameReader::Status::NeedMore:
                break;
            case Hdlc::FrameReader::Status::BadCrc:
            case Hdlc::FrameReader::Status::Oversized:
                ++counters_.badFrames;
                continue;
            case Hdlc::FrameReader::Status::Frame: {
                const std::vector<std::uint8_t>& frame = reader_.frame();
                if (!answersRequest(request, requestLength, frame)) {
                    ++counters_.framesDropped;
                    continue;
                }
                // The caller's buffer bounds what we may write.
                if (frame.size() > *responseLength) {
                    return kBufferTooSmallResult;
                }
                std::memcpy(response, frame.data(), frame.size());
                *responseLength = static_cast<USHORT>(frame.size());
                return S_OK;
            }
            }
        }
    }
}

} // namespace Transport
