// EFS2_DIAG_ACCESS: whether a handset name exists and allows an access.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

// One byte of permission bits, then the path.
class Access : public RequestPacket<1030> {
public:
    Access(std::uint8_t permissions, std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {
class Access : public RefusableErrnoResponse<1030> {};
} // namespace Responses

class Access : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Succeeds when `path` exists and allows what `permissions` asks
    // (Efs2::kAccessRead, kAccessWrite, kAccessExecute; kAccessExists for
    // nothing more); throws the handset's error number otherwise.
    void Execute(std::u16string_view path, std::uint8_t permissions);
};

} // namespace Diag::Efs
