// EFS2_DIAG_FSTAT: the attributes of an open handset file.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

class CEFSFStatCmd : public Diag::Efs::RequestPacket<8> {
public:
    CEFSFStatCmd(std::int32_t fd, std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

class CEFSFStatRsp : public Diag::Efs::FixedResponse<32, 4> {
public:
    std::uint32_t GetMode() const { return get32<8>(); }
    std::uint32_t GetSize() const { return get32<12>(); }
    std::uint32_t GetLinkCount() const { return get32<16>(); }
    std::uint32_t GetAccessTime() const { return get32<20>(); }
    std::uint32_t GetModificationTime() const { return get32<24>(); }
    std::uint32_t GetChangeTime() const { return get32<28>(); }
};

class CEFSFStat : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // The attributes of the file open as `fd`, as the handset reports them;
    // times in seconds since 1970-01-01 00:00:00.
    void Execute(std::int32_t fd, std::uint32_t& mode, std::uint32_t& size, std::uint32_t& nlink,
                 std::uint32_t& atime, std::uint32_t& mtime, std::uint32_t& ctime);
};
