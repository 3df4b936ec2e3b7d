// EFS2_DIAG_OPEN: opens a handset file by path and yields its descriptor.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

// Open flags, creation mode and path.
class Open : public RequestPacket<1037> {
public:
    Open(std::uint32_t oflag, std::uint32_t mode, std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {

class Open : public FixedResponse<12, 8> {
public:
    std::int32_t GetFd() const { return static_cast<std::int32_t>(get32<4>()); }
};

} // namespace Responses

class Open : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Opens the handset file `path` (text of a parsed handset path) with
    // `oflag`, creating it with `mode` if the flags say so; returns its
    // descriptor. A failure of the transaction carries the path in its message.
    std::int32_t Execute(std::u16string_view path, std::uint32_t oflag, std::uint32_t mode);
};

} // namespace Diag::Efs
