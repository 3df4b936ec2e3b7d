// EFS2_DIAG_CLOSEDIR: releases a handset directory handle.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

class CEFSCloseDirCmd : public Diag::Efs::RequestPacket<8> {
public:
    CEFSCloseDirCmd(std::uint32_t dirp, std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

class CEFSCloseDirRsp : public Diag::Efs::ErrnoResponse {};

class CEFSCloseDir : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Closes the directory handle `dirp`.
    void Execute(std::uint32_t dirp);
};
