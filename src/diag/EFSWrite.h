// EFS2_DIAG_WRITE: at most 512 bytes into an open handset file, at an offset.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

class CEFSWriteCmd : public Diag::Efs::RequestPacket<524> {
public:
    CEFSWriteCmd(std::int32_t fd, std::uint32_t offset, std::uint8_t subsystemId);
    // Copies `count` bytes of `source` (null when `count` is 0) into the packet
    // and returns the length to send. Throws CEFSException 527 when `count` is
    // over 512.
    std::int16_t SetData(const std::uint8_t* source, std::uint32_t count);

    static constexpr std::size_t kDataOffset = 12;
};

class CEFSWriteRsp : public Diag::Efs::FixedResponse<20, 16> {
public:
    std::int32_t GetFd() const { return static_cast<std::int32_t>(get32<4>()); }
    std::uint32_t GetOffset() const { return get32<8>(); }
    std::uint32_t GetCount() const { return get32<12>(); }
};

class CEFSWrite : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Writes `count` (at most 512) bytes of `source` at `offset` of the file
    // open as `fd`. Returns the count the handset reports written, which may
    // differ from `count`.
    std::uint32_t Execute(const std::uint8_t* source, std::int32_t fd, std::uint32_t count,
                          std::uint32_t offset);

    // The largest payload of one WRITE.
    static constexpr std::uint32_t GetMaxData() { return Diag::Efs2::kMaxData; }
};
