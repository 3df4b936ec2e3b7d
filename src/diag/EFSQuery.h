// EFS2_DIAG_QUERY: the limits of the handset's file system.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>

namespace Diag::Efs {

// What QUERY reports; the handset sends each as a signed 32-bit number.
struct FileSystemLimits {
    std::int32_t maxNameLength = 0; // bytes of one name
    std::int32_t maxPathLength = 0; // bytes of a whole path
    std::int32_t maxSymlinkDepth = 0;
    std::int32_t maxFileSize = 0;
    std::int32_t maxDirectories = 0;
    std::int32_t maxMounts = 0;
};

namespace Commands {

class Query : public RequestPacket<4> {
public:
    explicit Query(std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

} // namespace Commands

namespace Responses {

// Six numbers, and no error number.
class Query : public RefusableResponse<refusalCapacity(28, 4)> {
public:
    std::uint32_t GetErrno() const override { return 0; }
    bool IsValidLength(std::uint16_t length) const override { return length == 28; }
    FileSystemLimits GetLimits() const;
};

} // namespace Responses

class Query : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    FileSystemLimits Execute();
};

} // namespace Diag::Efs
