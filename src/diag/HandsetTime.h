// Handset times: unsigned 32-bit seconds since 1970-01-01 00:00:00, which the
// handset keeps without a time zone, and the platform's FILETIME (100 ns
// units since 1601) they are shown as.
#pragma once

#include "platform/Com.h"

#include <cstdint>

namespace Diag::Efs2 {

// 1970-01-01 00:00:00 as a FILETIME value.
inline constexpr std::uint64_t kFileTimeOfEpoch = 116444736000000000ULL;
inline constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000ULL;

// The FILETIME of a handset time, with no time-zone correction.
inline FILETIME fileTimeOf(std::uint32_t seconds)
{
    const std::uint64_t units = kFileTimeOfEpoch + seconds * kFileTimeUnitsPerSecond;
    return {static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

// The handset time of a FILETIME: 0 for a time before 1970, the largest for
// one beyond what 32 bits hold.
inline std::uint32_t secondsOf(const FILETIME& time)
{
    const std::uint64_t units =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (units <= kFileTimeOfEpoch) {
        return 0;
    }
    const std::uint64_t seconds = (units - kFileTimeOfEpoch) / kFileTimeUnitsPerSecond;
    return seconds > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(seconds);
}

} // namespace Diag::Efs2
