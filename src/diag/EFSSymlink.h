// EFS2_DIAG_SYMLINK: makes a symbolic link on the handset.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

// The target, then the path of the new link, each NUL-terminated.
class Symlink : public RequestPacket<2054> {
public:
    explicit Symlink(std::uint8_t subsystemId);
    // Puts the Windows-1252 forms of both into the packet and returns the
    // length to send. Throws CEFSException 516 when either is over 1024
    // bytes, the target checked first.
    std::int16_t SetNames(std::u16string_view target, std::u16string_view linkPath);
};

} // namespace Commands

namespace Responses {
class Symlink : public RefusableErrnoResponse<2054> {};
} // namespace Responses

class Symlink : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Makes `linkPath` a symbolic link to `target`, which the handset keeps as
    // it is given, relative or absolute, whether or not it exists.
    void Execute(std::u16string_view target, std::u16string_view linkPath);
};

} // namespace Diag::Efs
