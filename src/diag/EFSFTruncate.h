// EFS2_DIAG_FTRUNCATE: sets the length of an open handset file.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

namespace Diag::Efs {

namespace Commands {

// A sequence number, the new length, then the descriptor.
class FTruncate : public RequestPacket<14> {
public:
    FTruncate(std::uint16_t sequence, std::uint32_t length, std::int32_t fd,
              std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

} // namespace Commands

namespace Responses {
class FTruncate : public SequencedResponse<10, 14> {};
} // namespace Responses

class FTruncate : public Commands::SequencedCommandBase {
public:
    using SequencedCommandBase::SequencedCommandBase;

    // Cuts the file open for writing as `fd` to `length` bytes, or makes it
    // that long with zeros.
    void Execute(std::int32_t fd, std::uint32_t length);
};

} // namespace Diag::Efs
