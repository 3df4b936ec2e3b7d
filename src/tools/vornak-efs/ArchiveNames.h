// How handset names appear in a backup archive. The handset keeps a name as
// Windows-1252 bytes with "&#x...;" references for the characters the code
// page lacks; people, and other tar programs, read names as UTF-8. The two
// are not one-to-one: a name may hold "&#x41;" itself, which reads as "A".
// So an archive entry carries the readable name, and beside it the
// handset's own bytes whenever the readable name would not give them back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace VornakEfs::ArchiveNames {

// The UTF-8 an archive shows for one handset name: its characters with the
// references decoded, or, when those would not make one plain name (a "/",
// a NUL or a lone surrogate among them, or "." or ".."), its bytes one
// character each. Nothing for a name no archive can hold: empty, "." or
// "..", or with a "/" or a NUL in its bytes.
std::optional<std::string> readableName(std::string_view handsetName);

// readableName of each name of the relative path `handsetPath` ("a/b"),
// joined by "/"; nothing when one of them has none. "" gives "".
std::optional<std::string> readablePath(std::string_view handsetPath);

// The UTF-8 of any handset text, a link's target or a whole path, which may
// hold "/" and "..": the characters with the references decoded, or the bytes one
// character each when those hold a NUL or a lone surrogate.
std::string readableText(std::string_view handsetText);

// The handset bytes that readable text stands for when no bytes come with
// it: the characters, with references for those outside Windows-1252.
// Throws std::invalid_argument for text that is not UTF-8.
std::string handsetBytes(std::string_view readable);

} // namespace VornakEfs::ArchiveNames
