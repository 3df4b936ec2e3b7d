// EFS2_DIAG_MKDIR: creates a handset directory.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

class CEFSMkDirCmd : public Diag::Efs::RequestPacket<1031> {
public:
    // Unlike OPEN's, the mode of MKDIR is 16 bits wide.
    CEFSMkDirCmd(std::uint16_t mode, std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

class CEFSMkDirRsp : public Diag::Efs::ErrnoResponse {};

class CEFSMkDir : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Creates the handset directory `path` with the permission bits `mode`.
    void Execute(std::u16string_view path, std::uint16_t mode);
};
