// Fills a handset's file system from a directory of the host: the names (as
// the handset stores them, so a name outside Windows-1252 becomes its
// "&#x...;" form), the bytes, the permission bits and the modification time
// (which also stands for the access and creation times). A symbolic link
// becomes a handset link with the same target text, whatever it points at;
// the handset never reaches the host through it.
#pragma once

#include "emulator/FileSystem.h"

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

namespace Emulator {

struct SeedReport {
    std::size_t directories = 0;
    std::size_t files = 0;
    std::size_t links = 0;
    // Entries left out: neither file, directory nor link, unreadable, without
    // a UTF-16 name, or beyond the handset's limits.
    std::vector<std::filesystem::path> skipped;
};

// Copies the tree below `hostDirectory` into `fileSystem` below
// `handsetDirectory`. Throws std::filesystem::filesystem_error when
// `hostDirectory` cannot be listed.
SeedReport seedFromHost(FileSystem& fileSystem, const std::filesystem::path& hostDirectory,
                        std::u16string_view handsetDirectory = u"/");

} // namespace Emulator
