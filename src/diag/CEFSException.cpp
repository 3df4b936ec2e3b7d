#include "diag/CEFSException.h"

#include "lang/Transcode.h"

using Lang::Platform::transcode;

CEFSException::CEFSException(const char* message, std::uint32_t code, std::uint32_t line,
                             const char* file)
    : code_(code)
    , line_(line)
    , file_(file != nullptr ? file : "")
    , message_(transcode(std::string_view(message != nullptr ? message : "")))
{}

CEFSException::CEFSException(std::uint32_t deviceError, std::uint32_t line, const char* file)
    : CEFSException("", CodeFromDeviceError(deviceError), line, file)
{}

CEFSException::CEFSException(const char* prefix, const CEFSException& inner)
    : CEFSException(inner)
{
    std::u16string message = transcode(std::string_view(prefix != nullptr ? prefix : ""));
    if (!inner.message_.empty()) {
        message += u' ';
        message += inner.message_;
    }
    message_ = std::move(message);
}

CEFSException::~CEFSException() = default;

std::string CEFSException::GetMessage() const
{
    return transcode(message_);
}

std::uint32_t CEFSException::CodeFromDeviceError(std::uint32_t deviceError)
{
    const std::uint32_t code = deviceError + 1;
    return code <= 512 ? code : EFSERR_DEVICE_UNKNOWN;
}
