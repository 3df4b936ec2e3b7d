#include "transport/SerialPort.h"

#include "diag/Efs2.h"
#include "diag/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace Transport {

namespace {

// The descriptor of the probe's READ: -1, which no OPEN returns.
constexpr std::uint32_t kProbeDescriptor = 0xFFFFFFFF;

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

template <class Wanted>
bool SerialPort::nextFrame(Deadline deadline, Wanted wanted)
{
    for (;;) {
        while (incomingUsed_ < incomingSize_) {
            switch (reader_.feed(incoming_.data(), incomingSize_, &incomingUsed_)) {
            case Hdlc::FrameReader::Status::NeedMore:
                break;
            case Hdlc::FrameReader::Status::BadCrc:
            case Hdlc::FrameReader::Status::Oversized:
                ++counters_.badFrames;
                break;
            case Hdlc::FrameReader::Status::Frame:
                if (wanted(reader_.frame())) {
                    ++counters_.framesAnswered;
                    return true;
                }
                ++counters_.framesDropped;
                break;
            }
        }
        const std::size_t got = line_->read(incoming_.data(), incoming_.size(), deadline);
        if (got == 0) {
            return false;
        }
        counters_.bytesReceived += got;
        incomingUsed_ = 0;
        incomingSize_ = got;
    }
}

void SerialPort::send(const std::uint8_t* payload, std::size_t size, Deadline deadline)
{
    outgoing_.clear();
    Hdlc::appendFrame(payload, size, outgoing_);
    line_->write(outgoing_.data(), outgoing_.size(), deadline);
    counters_.bytesSent += outgoing_.size();
}

bool SerialPort::settle(const BYTE* request, ULONG requestLength, Deadline deadline)
{
    // A READ of nothing on a descriptor no handset gives out: the handset
    // answers it with EBADF and the descriptor and offset it was sent, and
    // the offset is ours alone.
    namespace Efs2 = Diag::Efs2;
    const std::uint8_t subsystem =
        requestLength >= 2 && request[0] == Efs2::kSubsystemDispatch ? request[1]
                                                                      : Efs2::kFileSubsystem;
    probeTag_ = (probeTag_ + 1) & 0x7FFFFFFF;
    std::uint8_t probe[16] = {Efs2::kSubsystemDispatch, subsystem};
    Diag::LittleEndian::write16(probe + 2, Efs2::Read);
    Diag::LittleEndian::write32(probe + 4, kProbeDescriptor);
    Diag::LittleEndian::write32(probe + 8, 0);
    Diag::LittleEndian::write32(probe + 12, probeTag_);
    send(probe, sizeof probe, deadline);
    ++counters_.probes;
    return nextFrame(deadline, [&](const std::vector<std::uint8_t>& frame) {
        return frame.size() >= 20 && std::equal(probe, probe + 4, frame.begin()) &&
               Diag::LittleEndian::read32(frame.data() + 4) == kProbeDescriptor &&
               Diag::LittleEndian::read32(frame.data() + 8) == probeTag_;
    });
}

HRESULT SerialPort::exchange(const BYTE* request, ULONG requestLength, Deadline deadline,
                             USHORT* responseLength, BYTE* response)
{
    // Whatever arrived before this request answers an earlier one.
    nextFrame(std::chrono::steady_clock::now(), [](const auto&) { return false; });
    // Unsettled until an answer arrives, whatever ends this exchange.
    const bool wasSettled = std::exchange(settled_, false);
    if (!wasSettled && !settle(request, requestLength, deadline)) {
        return kTimeoutResult;
    }
    send(request, requestLength, deadline);
    if (!nextFrame(deadline, [&](const std::vector<std::uint8_t>& frame) {
            return answersRequest(request, requestLength, frame);
        })) {
        return kTimeoutResult;
    }
    settled_ = true;
    const std::vector<std::uint8_t>& frame = reader_.frame();
    // The caller's buffer bounds what we may write.
    if (frame.size() > *responseLength) {
        return kBufferTooSmallResult;
    }
    std::memcpy(response, frame.data(), frame.size());
    *responseLength = static_cast<USHORT>(frame.size());
    return S_OK;
}

} // namespace Transport
