// EFS2_DIAG_RMDIR: removes an empty handset directory.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

class CEFSRmDirCmd : public Diag::Efs::RequestPacket<1029> {
public:
    explicit CEFSRmDirCmd(std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

class CEFSRmDirRsp : public Diag::Efs::ErrnoResponse {};

namespace Diag::Efs::Commands {

class RmDir : public CommandBase {
public:
    using CommandBase::CommandBase;

    // Removes the handset directory `path`.
    void Execute(std::u16string_view path);
};

} // namespace Diag::Efs::Commands
