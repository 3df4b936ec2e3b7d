// Handset directories as their listings give them, names in the handset's
// own bytes: what backup, restore and diff walk. One listing costs OPENDIR,
// one READDIR for each entry and one for the end, and CLOSEDIR; the mode,
// size and times come with each entry, so nothing else is asked.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VornakEfs {

// One name as READDIR reports it.
struct ListedEntry {
    std::string name; // the handset's bytes
    std::uint32_t mode = 0;
    std::uint32_t size = 0;
    std::uint32_t modificationTime = 0;

    bool isDirectory() const { return Diag::Efs2::isDirectoryMode(mode); }
};

// The handset path of `name` in the directory `directory` (both bytes).
std::string joinHandsetBytes(std::string_view directory, std::string_view name);

// A handset path in bytes as the text of a request: each byte its own
// character, so the request carries the bytes unchanged.
std::u16string requestPath(std::string_view handsetPath);

// A handset path in bytes as people read it, for messages.
std::u16string shownPath(std::string_view handsetPath);

// The entries of the directory `handsetPath` (bytes), in the order of their
// bytes, without the directory's own "." and "..". An entry whose type the
// listing leaves open gets its mode from LSTAT. Throws Failure.
std::vector<ListedEntry> listDirectory(Session& session, std::string_view handsetPath);

} // namespace VornakEfs
