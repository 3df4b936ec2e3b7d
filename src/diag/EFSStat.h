// EFS2_DIAG_STAT: the attributes of a handset name, symbolic links followed.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string_view>

namespace Diag::Efs {

// What STAT and FSTAT report of a file; times in seconds since 1970.
struct FileStatus {
    std::uint32_t mode = 0;
    std::uint32_t size = 0;
    std::uint32_t linkCount = 0;
    std::uint32_t accessTime = 0;
    std::uint32_t modificationTime = 0;
    std::uint32_t changeTime = 0;
};

namespace Commands {

class Stat : public RequestPacket<1029> {
public:
    explicit Stat(std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {

// 32 bytes, also when it carries an error.
class Stat : public RefusableFixedResponse<32, 4, 1029> {
public:
    FileStatus GetStatus() const;
};

} // namespace Responses

class Stat : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // The attributes of what `path` names, through any symbolic links.
    FileStatus Execute(std::u16string_view path);
};

} // namespace Diag::Efs
