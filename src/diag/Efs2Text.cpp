#include "diag/Efs2Text.h"

#include "diag/Efs2.h"

#include <cstdio>

namespace Diag::Efs2 {

namespace {

struct ModeType {
    std::uint32_t bits;
    char letter;
    const char* name;
};
constexpr ModeType kModeTypes[] = {
    {kModeDirectory, 'd', "directory"},
    {kModeRegular, '-', "regular file"},
    {kModeSymbolicLink, 'l', "symbolic link"},
    {kModeCharacterDevice, 'c', "character device"},
    {kModeBlockDevice, 'b', "block device"},
    {kModeFifo, 'p', "pipe"},
    {kModeSocket, 's', "socket"},
    {kModeItemFile, 'i', "item file"},
};
constexpr ModeType kUnknownType = {0, '?', "unknown type"};

const ModeType& typeOf(std::uint32_t mode)
{
    for (const ModeType& type : kModeTypes) {
        if ((mode & kModeTypeMask) == type.bits) {
            return type;
        }
    }
    return kUnknownType;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
void civilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

std::string modeText(std::uint32_t mode)
{
    std::string text(1, typeOf(mode).letter);
    static constexpr char kLetters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) {
        text += (mode & (0400u >> bit)) != 0 ? kLetters[bit] : '-';
    }
    return text;
}

std::string modeTypeName(std::uint32_t mode)
{
    return typeOf(mode).name;
}

std::string timeText(std::uint32_t seconds, bool withSeconds)
{
    int year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(seconds / 86400, year, month, day);
    const std::uint32_t inDay = seconds % 86400;
    char text[32];
    if (withSeconds) {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", year, month, day,
                      inDay / 3600, inDay / 60 % 60, inDay % 60);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u", year, month, day, inDay / 3600,
                      inDay / 60 % 60);
    }
    return text;
}

} // namespace Diag::Efs2
