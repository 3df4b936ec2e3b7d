// Text of the command line: UTF-8 as people type and read it, UTF-16 as the
// core holds it, and the handset's paths and figures as people read them
// (diag/Efs2Text.h has its modes and times).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace VornakEfs {

// UTF-8 to UTF-16. Throws std::invalid_argument for malformed UTF-8.
std::u16string fromUtf8(std::string_view text);
// UTF-16 to UTF-8. Throws std::invalid_argument for malformed UTF-16.
std::string toUtf8(std::u16string_view text);

// A handset path as typed, normalised ("." and ".." resolved, separators
// folded) and made absolute: the handset has no current directory, so "a/b"
// is "/a/b". Throws Failure (a usage error) for a path that cannot be parsed.
std::u16string handsetPath(std::string_view typed);
// `directory` and `name` joined with one "/".
std::u16string joinHandset(std::u16string_view directory, std::u16string_view name);
// The last component of a normalised handset path; empty for the root.
std::u16string_view baseName(std::u16string_view path);

// A path of this computer from UTF-8 text, and its text in UTF-8.
std::filesystem::path hostPath(std::string_view utf8);
std::string hostText(const std::filesystem::path& path);
// The name a host file or folder has in its parent; for "." or "dir/" the
// folder's own name.
std::filesystem::path hostBaseName(const std::filesystem::path& path);

// "0 B", "512 B", "1.5 KiB", "300.0 MiB".
std::string formatBytes(std::uint64_t bytes);
// "0:07", "12:34", "1:02:03".
std::string formatDuration(double seconds);

} // namespace VornakEfs
