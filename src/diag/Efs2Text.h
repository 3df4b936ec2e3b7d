// The handset's modes and times as people read them, the same in the command
// line tool and in the script tools.
#pragma once

#include <cstdint>
#include <string>

namespace Diag::Efs2 {

// "drwxr-xr-x" for the mode 040755: the type as ls shows it ('?' for none it
// knows), then the nine permission bits.
std::string modeText(std::uint32_t mode);
// What the type bits of `mode` make: "directory", "regular file", ...
std::string modeTypeName(std::uint32_t mode);

// "2024-05-01 12:34", or "2024-05-01 12:34:56" with seconds, for a handset
// time, which has no time zone.
std::string timeText(std::uint32_t seconds, bool withSeconds);

} // namespace Diag::Efs2
