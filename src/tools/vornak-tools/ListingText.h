// A handset's directory entries as people read them: entry types, modes and
// times in words, and the conversions between the handset's numbers and the
// platform's STATSTG records and dates.
#pragma once

#include "platform/Com.h"

#include <cstdint>
#include <string>

namespace VornakTools {

// "file", "directory", "link", or "type 7" for an entry type READDIR gives.
std::wstring entryTypeName(std::uint32_t type);
// "drwxr-xr-x" for the mode 040755: the type, then the permission bits.
std::wstring modeText(std::uint32_t mode);
// "2024-05-01 12:34:56" for a handset time (seconds since 1970-01-01
// 00:00:00, which the handset keeps without a time zone).
std::wstring timeText(std::uint32_t seconds);
// The same time as an automation date, in no time zone either.
DATE timeDate(std::uint32_t seconds);

// The handset's numbers for a STATSTG record that a storage other than a
// handset folder gave: the entry type of its element type and a mode holding
// only the type bits (Diag::Efs2::secondsOf gives its times).
std::uint32_t entryTypeOf(DWORD storageType);
std::uint32_t modeOf(DWORD storageType);

} // namespace VornakTools
