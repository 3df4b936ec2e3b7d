// EFS2_DIAG_CHMOD: changes the permission bits of a handset name.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

// A 16-bit mode, then the path.
class Chmod : public RequestPacket<1031> {
public:
    Chmod(std::uint16_t mode, std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {
class Chmod : public RefusableErrnoResponse<1031> {};
} // namespace Responses

class Chmod : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Gives what `path` names the permission bits of `mode` (its type bits
    // are sent as they are; a handset keeps the type it has).
    void Execute(std::u16string_view path, std::uint16_t mode);
};

} // namespace Diag::Efs
