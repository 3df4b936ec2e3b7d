// EFS2_DIAG_READ: at most 512 bytes of an open handset file, at an offset.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

class CEFSReadCmd : public Diag::Efs::RequestPacket<16> {
public:
    CEFSReadCmd(std::int32_t fd, std::uint32_t count, std::uint32_t offset,
                std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

class CEFSReadRsp : public Diag::Efs::ResponsePacket<532> {
public:
    std::uint32_t GetErrno() const override { return get32<16>(); }
    // 20 bytes of fields and at most 512 of data.
    bool IsValidLength(std::uint16_t length) const override;

    std::int32_t GetFd() const { return static_cast<std::int32_t>(get32<4>()); }
    std::uint32_t GetOffset() const { return get32<8>(); }
    // The handset fills only the low 16 bits of the count field, as a signed
    // number.
    std::int16_t GetCount() const { return static_cast<std::int16_t>(get32<12>() & 0xFFFF); }
    const std::uint8_t* GetData() const { return bytes() + kDataOffset; }

    static constexpr std::uint16_t kDataOffset = 20;
};

class CEFSRead : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Reads at most `count` (at most 512) bytes at `offset` of the file open as
    // `fd` into `destination`, which holds `count` bytes (it may be null when
    // `count` is 0). Returns the number of bytes read, never more than `count`.
    std::uint32_t Execute(std::uint8_t* destination, std::int32_t fd, std::uint32_t count,
                          std::uint32_t offset);

    // The largest payload of one READ.
    static constexpr std::uint32_t GetMaxData() { return Diag::Efs2::kMaxData; }
};
