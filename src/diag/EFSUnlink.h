// EFS2_DIAG_UNLINK: removes a handset file by path.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

class CEFSUnlinkCmd : public Diag::Efs::RequestPacket<1030> {
public:
    explicit CEFSUnlinkCmd(std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

namespace Efs {
class UnlinkRsp : public Diag::Efs::ErrnoResponse {};
} // namespace Efs

class EFSUnlink : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Removes the handset file `path`.
    void Execute(std::u16string_view path);
};
