#include "tools/vornak-tools/ListingText.h"

#include <cstdio>

namespace VornakTools {

namespace {

// 1970-01-01 00:00:00 in FILETIME units (100 ns since 1601).
constexpr std::uint64_t kEpoch = 116444736000000000ULL;
constexpr std::uint64_t kUnitsPerSecond = 10000000ULL;

// The element types of STATSTG that stand for no storage or stream.
constexpr DWORD kEntryTypeTwo = 0xFFFFFFFEu; // what the enumerator makes of type 2
constexpr std::uint32_t kUnknownEntryType = 0xFFFFFFFFu;

SYSTEMTIME systemTime(std::uint32_t seconds)
{
    const std::uint64_t units = kEpoch + seconds * kUnitsPerSecond;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(units);
    time.dwHighDateTime = static_cast<DWORD>(units >> 32);
    SYSTEMTIME result{};
    FileTimeToSystemTime(&time, &result); // cannot fail for years 1970 to 2106
    return result;
}

} // namespace

std::wstring entryTypeName(std::uint32_t type)
{
    switch (type) {
    case 0:
        return L"file";
    case 1:
        return L"directory";
    case 2:
        return L"link";
    default:
        return L"type " + std::to_wstring(type);
    }
}

std::wstring modeText(std::uint32_t mode)
{
    wchar_t type = L'?';
    switch (mode & 0xF000) {
    case 0x4000:
        type = L'd';
        break;
    case 0x8000:
        type = L'-';
        break;
    case 0xA000:
        type = L'l';
        break;
    case 0x2000:
        type = L'c';
        break;
    case 0x6000:
        type = L'b';
        break;
    case 0x1000:
        type = L'p';
        break;
    case 0xC000:
        type = L's';
        break;
    default:
        break;
    }
    std::wstring text(1, type);
    constexpr wchar_t kLetters[] = L"rwx";
    for (int bit = 8; bit >= 0; --bit) {
        text += (mode >> bit) & 1 ? kLetters[(8 - bit) % 3] : L'-';
    }
    return text;
}

std::wstring timeText(std::uint32_t seconds)
{
    const SYSTEMTIME time = systemTime(seconds);
    wchar_t text[32];
    std::swprintf(text, std::size(text), L"%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond);
    return text;
}

DATE timeDate(std::uint32_t seconds)
{
    SYSTEMTIME time = systemTime(seconds);
    DATE date = 0;
    SystemTimeToVariantTime(&time, &date);
    return date;
}

std::uint32_t entryTypeOf(DWORD storageType)
{
    switch (storageType) {
    case STGTY_STREAM:
        return 0;
    case STGTY_STORAGE:
        return 1;
    case kEntryTypeTwo:
        return 2;
    default:
        return kUnknownEntryType;
    }
}

std::uint32_t modeOf(DWORD storageType)
{
    switch (storageType) {
    case STGTY_STREAM:
        return 0x8000;
    case STGTY_STORAGE:
        return 0x4000;
    default:
        return 0;
    }
}

std::uint32_t secondsOf(const FILETIME& time)
{
    const std::uint64_t units =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (units <= kEpoch) {
        return 0;
    }
    const std::uint64_t seconds = (units - kEpoch) / kUnitsPerSecond;
    return seconds > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(seconds);
}

} // namespace VornakTools
