// EFS2_DIAG_DELTREE: removes a handset directory and everything below it.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

// A sequence number, then the path.
class DelTree : public RequestPacket<1031> {
public:
    DelTree(std::uint16_t sequence, std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {
class DelTree : public SequencedResponse<10, 1031> {};
} // namespace Responses

class DelTree : public Commands::SequencedCommandBase {
public:
    using SequencedCommandBase::SequencedCommandBase;

    // Removes the directory `path` with all it holds.
    void Execute(std::u16string_view path);
};

} // namespace Diag::Efs
