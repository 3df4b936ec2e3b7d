// EFS2_DIAG_OPENDIR: opens a handset directory for reading its entries.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

class CEFSOpenDirCmd : public Diag::Efs::RequestPacket<1029> {
public:
    explicit CEFSOpenDirCmd(std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

class CEFSOpenDirRsp : public Diag::Efs::FixedResponse<12, 8> {
public:
    std::uint32_t GetDirp() const { return get32<4>(); }
};

class CEFSOpenDir : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Opens the handset directory `path` and returns its directory handle. A
    // failure of the transaction carries the path in its message.
    std::uint32_t Execute(std::u16string_view path);
};
