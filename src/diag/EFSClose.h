// EFS2_DIAG_CLOSE: releases a handset file descriptor.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

class CEFSCloseCmd : public Diag::Efs::RequestPacket<8> {
public:
    CEFSCloseCmd(std::int32_t fd, std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

class CEFSCloseRsp : public Diag::Efs::ErrnoResponse {};

class CEFSClose : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Closes the handset descriptor `fd`.
    void Execute(std::int32_t fd);
};
