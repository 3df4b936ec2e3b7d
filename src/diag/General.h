// The general commands of the handset's diagnostic protocol: those that
// diagnostic clients send before their first EFS2 command, and the three
// answers with which a handset turns a request down. EFS2 itself travels
// inside the subsystem dispatch (Efs2.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Diag::General {

enum Command : std::uint8_t {
    Version = 0x00, // version information: 55 bytes of dates, model and revisions
    NvRead = 0x26,  // NV item read and write: 133 bytes each way
    NvWrite = 0x27,
    ServiceCode = 0x41,   // service programming code: 6 digits, answered with a status byte
    Password = 0x46,      // security password: 8 bytes, the same
    LogConfig = 0x73,     // log configuration by operation
    BuildId = 0x7C,       // extended build id: two numbers and two strings
    MessageConfig = 0x7D, // extended message configuration by operation
};

// The first byte of a refusal; the rest of the packet is the request as it came.
enum Refusal : std::uint8_t {
    BadCommand = 0x13,    // no handler for this command, subsystem or subcommand
    BadParameters = 0x14, // the handler does not know the operation asked for
    BadLength = 0x15,     // the request is not the size its command needs
};

inline constexpr bool isRefusal(std::uint8_t code)
{
    return code == BadCommand || code == BadParameters || code == BadLength;
}

// NV items: an item number, 128 bytes of data and a status.
inline constexpr std::size_t kNvPacketSize = 133;
inline constexpr std::size_t kNvDataSize = 128;
enum NvStatus : std::uint16_t {
    NvDone = 0,
    NvBadParameter = 6,
    NvNotActive = 5, // never written
    NvReadOnly = 7,
};

} // namespace Diag::General
