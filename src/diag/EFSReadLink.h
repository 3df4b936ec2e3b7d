// EFS2_DIAG_READLINK: the target of a symbolic link on the handset.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Diag::Efs {

namespace Commands {

class ReadLink : public RequestPacket<1029> {
public:
    explicit ReadLink(std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {

// The error number, then the target and its NUL.
class ReadLink : public RefusableResponse<8 + Efs2::kMaxPath + 1> {
public:
    std::uint32_t GetErrno() const override { return get32<4>(); }
    // 8 bytes of fields and a target of at most 1024 bytes and its NUL.
    bool IsValidLength(std::uint16_t length) const override;
    // The target's bytes in a response of `length` valid bytes: up to its
    // NUL, or all the received bytes when they hold none.
    std::string GetTarget(std::uint16_t length) const;

    static constexpr std::uint16_t kTargetOffset = 8;
};

} // namespace Responses

class ReadLink : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // The target of the symbolic link `path`, as the handset keeps it.
    std::u16string Execute(std::u16string_view path);
    // The same target as the handset's own Windows-1252 bytes, which come
    // back to it unchanged where the decoded text might not.
    std::string TargetBytes(std::u16string_view path);
};

} // namespace Diag::Efs
