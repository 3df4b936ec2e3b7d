// EFS2_DIAG_LSTAT: the attributes of a handset name, without opening it.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

class CEFSLStatCmd : public Diag::Efs::RequestPacket<1029> {
public:
    explicit CEFSLStatCmd(std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

class CEFSLStatRsp : public Diag::Efs::FixedResponse<24, 4> {
public:
    std::uint32_t GetMode() const { return get32<8>(); }
    std::uint32_t GetAccessTime() const { return get32<12>(); }
    std::uint32_t GetModificationTime() const { return get32<16>(); }
    std::uint32_t GetChangeTime() const { return get32<20>(); }
};

class EFSLStat : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // The mode and times of the handset name `path`; the type of the name is
    // in bits 12 to 15 of the mode.
    void Execute(std::u16string_view path, std::uint32_t& mode, std::uint32_t& atime,
                 std::uint32_t& mtime, std::uint32_t& ctime);
};
