// EFS2_DIAG_GET: reads a whole item file, the handset's small atomic file,
// in one packet.
//
// Public clients disagree on this layout; this is the one with a sequence
// number, like the later commands: the data length wanted, the path's length
// with its NUL, the sequence number, then the path. The response carries the
// length read, the error number, the sequence number and the data.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

class Get : public RequestPacket<14 + Efs2::kMaxPath + 1> {
public:
    Get(std::uint32_t wanted, std::uint16_t sequence, std::uint8_t subsystemId);
    // Puts the path and its length into the packet and returns the length to
    // send. Throws CEFSException 516 when the path is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {

class Get
    : public RefusableResponse<refusalCapacity(14 + Efs2::kMaxItemData, 14 + Efs2::kMaxPath + 1)> {
public:
    std::uint32_t GetErrno() const override { return get32<8>(); }
    // 14 bytes of fields and at most 1024 of data.
    bool IsValidLength(std::uint16_t length) const override;

    std::int32_t GetCount() const { return static_cast<std::int32_t>(get32<4>()); }
    std::uint16_t GetSequence() const { return get16<12>(); }
    const std::uint8_t* GetData() const { return bytes() + kDataOffset; }

    static constexpr std::uint16_t kDataOffset = 14;
};

} // namespace Responses

class Get : public Commands::SequencedCommandBase {
public:
    using SequencedCommandBase::SequencedCommandBase;

    // Reads the item file `path` into `destination`, which holds `capacity`
    // (at most 1024) bytes; returns the item's length. Throws CEFSException
    // 542 for a capacity over 1024, 514 when the handset reports more bytes
    // than asked for or sent.
    std::uint32_t Execute(std::u16string_view path, std::uint8_t* destination,
                          std::uint32_t capacity);
};

} // namespace Diag::Efs
