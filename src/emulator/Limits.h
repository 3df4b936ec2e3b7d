// The sizes a handset lives within: what QUERY, STATFS and DEV_INFO report,
// and what the file system and the descriptor tables enforce.
#pragma once

#include "diag/Efs2.h"

#include <cstdint>

namespace Emulator {

struct Limits {
    std::uint32_t maxNameLength = 768;                  // bytes of one name
    std::uint32_t maxPathLength = Diag::Efs2::kMaxPath; // bytes of a path, NUL not counted
    std::uint32_t maxFileSize = 64u << 20;              // EFBIG beyond
    std::uint64_t capacity = 256u << 20;                // bytes of all files; ENOSPC beyond
    std::uint32_t maxDirectoryEntries = 4096;           // per directory; ENOSPC beyond
    std::uint32_t maxNodes = 1u << 20;                  // names of all kinds; ENOSPC beyond
    std::uint32_t maxOpenFiles = 64;                    // EMFILE beyond
    std::uint32_t maxOpenDirectories = 16;              // EMFILE beyond
    std::uint32_t maxTransfer = 8192;                   // bytes one READ delivers at most
    std::uint32_t maxSymlinkDepth = 8;                  // links followed in one path; ELOOP beyond
    std::uint32_t maxItemSize = Diag::Efs2::kMaxItemData; // bytes of an item file; EFBIG beyond
};

} // namespace Emulator
