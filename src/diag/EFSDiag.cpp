#include "diag/EFSDiag.h"

#include "diag/General.h"
#include "lang/Transcode.h"
#include "platform/ComError.h"

#include <cstring>

namespace {

// Every failure found while sending is recorded at this file, on the line of
// its check.
constexpr const char* kFile = "..\\SharedSource\\EFSDiag";
constexpr std::uint32_t kPortComErrorLine = 77;
constexpr std::uint32_t kPortOtherErrorLine = 81;
constexpr std::uint32_t kTooShortLine = 89;
constexpr std::uint32_t kErrorResponseLine = 100;
constexpr std::uint32_t kRefusedLine = 103;
constexpr std::uint32_t kUnexpectedResponseLine = 104;
constexpr std::uint32_t kBadLengthLine = 111;
constexpr std::uint32_t kDeviceErrorLine = 116;

bool isErrorResponseHeader(const std::uint8_t* packet)
{
    using namespace Diag::Efs2;
    return packet[0] == kSubsystemDispatch &&
           (packet[1] == kFileSubsystem || packet[1] == kAlternateFileSubsystem) &&
           Diag::LittleEndian::read16(packet + 2) == ErrorResponse;
}

// A bad command, parameters or length answer that echoes `request`: the
// code, then as much of the request as came back, the header at least.
bool isRefusalOf(const std::uint8_t* request, std::size_t requestLength,
                 const std::uint8_t* response, std::size_t length)
{
    const std::size_t echoed = length - 1;
    return Diag::General::isRefusal(response[0]) && echoed >= Diag::Efs2::kHeaderSize &&
           echoed <= requestLength && std::memcmp(response + 1, request, echoed) == 0;
}

} // namespace

CEFSCmd::~CEFSCmd() = default;

CEFSRsp::~CEFSRsp() = default;

bool CEFSRsp::RecognizesRefusal() const
{
    return false;
}

std::uint32_t CEFSRsp::GetErrorResponseErrno(std::uint16_t length)
{
    // The handset's length is a signed 16-bit count; every buffer holds at
    // least the 8 bytes of an error response.
    if (static_cast<std::int16_t>(length) <
        static_cast<std::int16_t>(Diag::Efs2::kErrorResponseSize)) {
        return 0;
    }
    const std::uint8_t* packet = GetPacket();
    return isErrorResponseHeader(packet) ? Diag::LittleEndian::read32(packet + 4) : 0;
}

namespace Diag::Efs {

std::string encodePath(std::u16string_view path, const char* command, std::uint32_t line,
                       const char* file)
{
    std::string bytes = Lang::Platform::transcode(path);
    if (bytes.size() > Efs2::kMaxPath) {
        throw CEFSException(command, EFSERR_PATH_TOO_LONG, line, file);
    }
    return bytes;
}

} // namespace Diag::Efs

namespace Diag::Efs {

Platform::ComPtr<IDiagPort> diagPortOf(IUnknown* port)
{
    Platform::ComPtr<IDiagPort> result;
    if (port == nullptr) {
        return result;
    }
    const HRESULT hr = Platform::queryInterfaceNoThrow(port, IID_IDiagPort, result);
    if (hr != E_NOINTERFACE) {
        Platform::throwIfFailed(hr);
    }
    return result;
}

} // namespace Diag::Efs

namespace Diag::Efs::Commands {

CommandBase::CommandBase(IUnknown* port, std::uint32_t timeout, std::uint8_t subsystemId)
    : port_(diagPortOf(port))
    , timeout_(timeout)
    , subsystemId_(subsystemId)
{}

CommandBase::~CommandBase()
{
    try {
        port_.reset();
    } catch (...) {
        // A port that throws from Release has nothing more to tell us.
    }
}

std::uint16_t CommandBase::Transact(CEFSCmd& request, std::int16_t requestLength, CEFSRsp& response)
{
    const std::uint8_t* requestBytes = request.GetPacket();
    USHORT length = response.GetCapacity();
    std::uint8_t* responseBytes = response.GetPacket();

    try {
        if (!port_) {
            Platform::throwIfFailed(E_POINTER);
        }
        Platform::throwIfFailed(port_->SendRequest(static_cast<ULONG>(requestLength), requestBytes,
                                                   1, 0, timeout_, &length, responseBytes));
    } catch (const _com_error&) {
        throw CEFSException("", EFSERR_PORT_COM, kPortComErrorLine, kFile);
    } catch (...) {
        throw CEFSException("", EFSERR_PORT_OTHER, kPortOtherErrorLine, kFile);
    }

    if (requestBytes[0] == Efs2::kSubsystemDispatch) {
        if (length < Efs2::kHeaderSize) {
            throw CEFSException("", EFSERR_BAD_RESPONSE, kTooShortLine, kFile);
        }
        if (std::memcmp(responseBytes, requestBytes, Efs2::kHeaderSize) != 0) {
            const std::uint32_t deviceError = response.GetErrorResponseErrno(length);
            if (deviceError != 0) {
                throw CEFSException(deviceError, kErrorResponseLine, kFile);
            }
            if (response.RecognizesRefusal() && length <= response.GetCapacity() &&
                requestLength > 0 &&
                isRefusalOf(requestBytes, static_cast<std::size_t>(requestLength), responseBytes,
                            length)) {
                throw CEFSException("", EFSERR_REFUSED, kRefusedLine, kFile);
            }
            throw CEFSException("", EFSERR_UNEXPECTED_RESPONSE, kUnexpectedResponseLine, kFile);
        }
    }
    if (!response.IsValidLength(length)) {
        throw CEFSException("", EFSERR_BAD_RESPONSE, kBadLengthLine, kFile);
    }
    if (const std::uint32_t deviceError = response.GetErrno(); deviceError != 0) {
        throw CEFSException(deviceError, kDeviceErrorLine, kFile);
    }
    return length;
}

void SequencedCommandBase::CheckSequence(std::uint16_t sent, std::uint16_t answered,
                                         const char* command, std::uint32_t line, const char* file)
{
    if (answered != sent) {
        throw CEFSException(command, EFSERR_WRONG_SEQUENCE, line, file);
    }
}

} // namespace Diag::Efs::Commands
