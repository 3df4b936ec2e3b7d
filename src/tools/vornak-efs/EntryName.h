// Names a handset lists are untrusted: whatever makes host files or shows
// names of them (get -r, and the verbs that walk a handset's tree) asks here
// first whether a name can be a name in a folder of this computer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace VornakEfs {

// Why `name` cannot name a file inside a folder of this computer, or nothing
// when it can: it is empty, "." or "..", absolute, not valid Unicode, or it
// holds a "/", a "\", a NUL or another control character (and on Windows a
// ":"). Any of these could place a file outside the folder it belongs in.
std::optional<std::string> unsafeEntryName(std::u16string_view name);

// Whether a walk of the handset's tree that goes down into `name` would go
// anywhere but one step down: the name is empty, "." or "..", or it holds a
// "/" or a NUL.
bool leavesDirectory(std::u16string_view name);

// `name` in double quotes as UTF-8 for a message, with backslash escapes for
// control characters, quotes, backslashes and unpaired surrogates, so that a
// name cannot write to the terminal what it likes.
std::string quotedName(std::u16string_view name);

// `name` as UTF-8 for a listing: as it is, unless it holds a control
// character or an unpaired surrogate; then quoted as above.
std::string printableName(std::u16string_view name);

} // namespace VornakEfs
