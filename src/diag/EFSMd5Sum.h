// EFS2_DIAG_MD5SUM: the MD5 digest of a handset file, computed by the handset.
#pragma once

#include "diag/EFSDiag.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace Diag::Efs {

using Md5Digest = std::array<std::uint8_t, Efs2::kMd5Size>;

namespace Commands {

// A sequence number, then the path.
class Md5Sum : public RequestPacket<1031> {
public:
    Md5Sum(std::uint16_t sequence, std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {

// The sequence number, the error number and the 16 bytes of the digest.
class Md5Sum : public SequencedResponse<26, 1031> {
public:
    Md5Digest GetDigest() const;

    static constexpr std::size_t kDigestOffset = 10;
};

} // namespace Responses

class Md5Sum : public Commands::SequencedCommandBase {
public:
    using SequencedCommandBase::SequencedCommandBase;

    // The digest of the whole file `path`.
    Md5Digest Execute(std::u16string_view path);
};

} // namespace Diag::Efs
