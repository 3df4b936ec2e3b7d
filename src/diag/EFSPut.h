// EFS2_DIAG_PUT: writes a whole item file, the handset's small atomic file,
// in one packet.
//
// Public clients disagree on this layout; this is the one with the fields
// first: data length, open flags and mode, the data, then the path. The
// response carries a sequence number (0, as the request has none) and the
// error number.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

class Put : public RequestPacket<16 + Efs2::kMaxItemData + Efs2::kMaxPath + 1> {
public:
    Put(std::uint32_t oflag, std::uint32_t mode, std::uint8_t subsystemId);
    // Puts `data` and the Windows-1252 form of `path` into the packet and
    // returns the length to send. Throws CEFSException 542 when `data` is
    // over 1024 bytes, 516 when the path is.
    std::int16_t SetItem(std::span<const std::uint8_t> data, std::u16string_view path);

    static constexpr std::size_t kDataOffset = 16;
};

} // namespace Commands

namespace Responses {
class Put : public RefusableFixedResponse<10, 6, 16 + Efs2::kMaxItemData + Efs2::kMaxPath + 1> {};
} // namespace Responses

class Put : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Makes `data` (at most 1024 bytes) the content of the item file `path`,
    // opened with `oflag` and, when the flags create it, `mode`.
    void Execute(std::u16string_view path, std::span<const std::uint8_t> data, std::uint32_t oflag,
                 std::uint32_t mode);
};

} // namespace Diag::Efs
