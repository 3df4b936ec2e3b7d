#include "tools/vornak-tools/ListingText.h"

#include "diag/Efs2.h"
#include "diag/Efs2Text.h"
#include "diag/HandsetTime.h"

namespace VornakTools {

namespace {

// The element types of STATSTG that stand for no storage or stream.
constexpr DWORD kEntryTypeTwo = 0xFFFFFFFEu; // what the enumerator makes of type 2
constexpr std::uint32_t kUnknownEntryType = 0xFFFFFFFFu;

std::wstring widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end()); // ASCII
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
    return widen(Diag::Efs2::modeText(mode));
}

std::wstring timeText(std::uint32_t seconds)
{
    return widen(Diag::Efs2::timeText(seconds, true));
}

DATE timeDate(std::uint32_t seconds)
{
    const FILETIME fileTime = Diag::Efs2::fileTimeOf(seconds);
    SYSTEMTIME time{};
    FileTimeToSystemTime(&fileTime, &time); // cannot fail for years 1970 to 2106
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
        return Diag::Efs2::kModeRegular;
    case STGTY_STORAGE:
        return Diag::Efs2::kModeDirectory;
    default:
        return 0;
    }
}

} // namespace VornakTools
