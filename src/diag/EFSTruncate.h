// EFS2_DIAG_TRUNCATE: sets the length of a handset file by path.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

// A sequence number, the new length, then the path.
class Truncate : public RequestPacket<1035> {
public:
    Truncate(std::uint16_t sequence, std::uint32_t length, std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {
class Truncate : public SequencedResponse<10, 1035> {};
} // namespace Responses

class Truncate : public Commands::SequencedCommandBase {
public:
    using SequencedCommandBase::SequencedCommandBase;

    // Cuts the file `path` to `length` bytes, or makes it that long with zeros.
    void Execute(std::u16string_view path, std::uint32_t length);
};

} // namespace Diag::Efs
