#include "tools/vornak-efs/Failure.h"

#include "diag/CEFSException.h"

#include <array>
#include <cstdio>
#include <utility>

namespace VornakEfs {

namespace {

// The handset's error numbers are those of POSIX on Linux; the words are
// written here rather than taken from the host's strerror, which differs on
// Windows.
constexpr std::array<std::pair<std::uint32_t, const char*>, 27> kDeviceErrors{{
    {1, "Operation not permitted"},
    {2, "No such file or directory"},
    {5, "Input/output error"},
    {6, "No such device or address"},
    {9, "Bad file descriptor"},
    {11, "Resource temporarily unavailable"},
    {12, "Cannot allocate memory"},
    {13, "Permission denied"},
    {14, "Bad address"},
    {16, "Device or resource busy"},
    {17, "File exists"},
    {18, "Invalid cross-device link"},
    {19, "No such device"},
    {20, "Not a directory"},
    {21, "Is a directory"},
    {22, "Invalid argument"},
    {23, "Too many open files in system"},
    {24, "Too many open files"},
    {27, "File too large"},
    {28, "No space left on device"},
    {30, "Read-only file system"},
    {31, "Too many links"},
    {36, "File name too long"},
    {38, "Function not implemented"},
    {39, "Directory not empty"},
    {40, "Too many levels of symbolic links"},
    {95, "Operation not supported"},
}};

// The port's failures by their Windows values.
constexpr HRESULT kTimeout = static_cast<HRESULT>(0x800705B4u);        // ERROR_TIMEOUT
constexpr HRESULT kLineFailure = static_cast<HRESULT>(0x8007001Fu);    // ERROR_GEN_FAILURE
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(0x8007007Au); // ERROR_INSUFFICIENT_BUFFER

std::string hex(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

const char* ownWords(std::uint32_t code)
{
    switch (code) {
    case 0:
    case EFSERR_DEVICE_UNKNOWN:
        return "The handset reported an error number beyond those it defines";
    case EFSERR_BAD_RESPONSE:
        return "The handset sent a malformed response";
    case EFSERR_WRONG_HANDLE:
        return "The handset answered for another file or directory";
    case EFSERR_PATH_TOO_LONG:
        return "The path is longer than the handset's 1024 bytes";
    case EFSERR_READ_NOT_OPEN:
    case EFSERR_WRITE_NOT_OPEN:
    case EFSERR_STAT_NOT_OPEN:
    case EFSERR_DETACH_NOT_OPEN:
        return "The handset file is not open";
    case EFSERR_ALREADY_OPEN:
    case EFSERR_ATTACH_OPEN:
        return "The handset file is already open";
    case EFSERR_READ_TOO_LARGE:
    case EFSERR_WRITE_TOO_LARGE:
        return "A packet of more than 512 bytes was asked for";
    case EFSERR_UNEXPECTED_RESPONSE:
        return "The handset sent a response to another request";
    case EFSERR_WRITE_OFFSET:
        return "The handset wrote at another offset than the one sent";
    case EFSERR_READ_OFFSET:
        return "The handset kept answering for another offset";
    case EFSERR_PORT_OTHER:
        return "The port failed unexpectedly";
    case EFSERR_REFUSED:
        return "The handset refused the request";
    case EFSERR_WRONG_SEQUENCE:
        return "The handset answered another request of the same kind";
    case EFSERR_ITEM_TOO_LARGE:
        return "An item file holds at most 1024 bytes";
    default:
        return "The handset operation failed";
    }
}

} // namespace

std::string deviceErrorWords(std::uint32_t deviceError)
{
    for (const auto& [number, words] : kDeviceErrors) {
        if (number == deviceError) {
            return words;
        }
    }
    return "Unknown device error";
}

std::string portFailureWords(HRESULT result, std::uint32_t timeoutMs)
{
    std::string words;
    switch (result) {
    case kTimeout:
        words = "The handset did not answer within " + std::to_string(timeoutMs) + " ms";
        break;
    case kLineFailure:
        words = "The line to the handset failed";
        break;
    case kBufferTooSmall:
        words = "The handset sent a response longer than any the protocol has";
        break;
    case E_OUTOFMEMORY:
        words = "Out of memory";
        break;
    default:
        words = "The port failed";
        break;
    }
    return words + " (port error " + hex(result) + ")";
}

Description describeCode(std::uint32_t code, std::optional<HRESULT> portResult,
                         std::uint32_t timeoutMs)
{
    if (code >= 2 && code <= 512) {
        const std::uint32_t deviceError = code - 1;
        return {deviceErrorWords(deviceError) + " (device error " + std::to_string(deviceError) +
                    ")",
                kHandsetFailure};
    }
    if (code == EFSERR_PORT_COM) {
        if (portResult) {
            return {portFailureWords(*portResult, timeoutMs), kPortFailure};
        }
        return {"The port failed (error 533)", kPortFailure};
    }
    const ExitCode exitCode = code == EFSERR_PORT_OTHER ? kPortFailure : kHandsetFailure;
    return {std::string(ownWords(code)) + " (error " + std::to_string(code) + ")", exitCode};
}

} // namespace VornakEfs
