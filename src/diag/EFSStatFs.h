// EFS2_DIAG_STATFS: the size and use of the file system that holds a path.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Diag::Efs {

// What STATFS reports; counts of blocks of `blockSize` bytes.
struct FileSystemStatus {
    std::uint32_t id = 0;
    std::string type; // up to 8 bytes, as the handset names its file system
    std::uint32_t blockSize = 0;
    std::uint32_t totalBlocks = 0;
    std::uint32_t availableBlocks = 0;
    std::uint32_t freeBlocks = 0;
    std::uint32_t maxFileSize = 0;
    std::uint32_t fileCount = 0;
    std::uint32_t maxFileCount = 0;
};

namespace Commands {

class StatFs : public RequestPacket<1029> {
public:
    explicit StatFs(std::uint8_t subsystemId);
    // Puts the Windows-1252 form of `path` into the packet and returns the
    // length to send. Throws CEFSException 516 when it is over 1024 bytes.
    std::int16_t SetPath(std::u16string_view path);
};

} // namespace Commands

namespace Responses {

class StatFs : public RefusableFixedResponse<48, 4, 1029> {
public:
    FileSystemStatus GetStatus() const;

    static constexpr std::size_t kTypeOffset = 12;
    static constexpr std::size_t kTypeSize = 8;
};

} // namespace Responses

class StatFs : public Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // The file system that holds `path`.
    FileSystemStatus Execute(std::u16string_view path);
};

} // namespace Diag::Efs
