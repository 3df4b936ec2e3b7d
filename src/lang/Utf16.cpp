#include "lang/Utf16.h"

#include "lang/RangeCheck.h"

#include <stdexcept>

namespace Lang::Platform {

namespace {
constexpr const char* kUnitName = "wchar_t";
}

std::int32_t Utf16::toChar(const Unit*& read, const Unit* end)
{
    Detail::checkRange(read, end, 1, "Lang::Platform::Utf16::toChar", kUnitName);
    const std::uint32_t first = read[0];
    if (isLowSurrogate(first)) {
        throw std::invalid_argument("Unpaired UTF-16 low-surrogate");
    }
    ++read;
    if (!isHighSurrogate(first)) {
        return static_cast<std::int32_t>(first);
    }
    if (read == end) {
        throw std::invalid_argument("Incomplete UTF-16 surrogate pair");
    }
    const std::uint32_t second = read[0];
    if (!isLowSurrogate(second)) {
        throw std::invalid_argument("Unpaired UTF-16 high-surrogate");
    }
    ++read;
    return static_cast<std::int32_t>(0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
}

Utf16::Unit* Utf16::toStorage(std::int32_t codePoint, Unit* destination, Unit* destinationEnd)
{
    const auto value = static_cast<std::uint32_t>(codePoint);
    const bool pair = value > 0xFFFF;
    Detail::checkRange(destination, destinationEnd, pair ? 2 : 1,
                       "Lang::Platform::Utf16::toStorage", kUnitName);
    if (!pair) {
        *destination++ = static_cast<Unit>(value);
        return destination;
    }
    const std::uint32_t offset = value - 0x10000;
    *destination++ = static_cast<Unit>(0xD800 + ((offset >> 10) & 0x3FF));
    *destination++ = static_cast<Unit>(0xDC00 + (offset & 0x3FF));
    return destination;
}

int Utf16::storageUsed(const Unit* position, const Unit* end)
{
    Detail::checkRange(position, end, 1, "Lang::Platform::Utf16::storageUsed", kUnitName);
    const std::uint32_t first = position[0];
    if (isLowSurrogate(first)) {
        return 0;
    }
    if (!isHighSurrogate(first)) {
        return 1;
    }
    return end - position >= 2 && isLowSurrogate(position[1]) ? 2 : 0;
}

std::ptrdiff_t Utf16::getIndex(const Unit* begin, const Unit* end, std::size_t count)
{
    Detail::checkRange(begin, end, 1, "Lang::Platform::Utf16::getIndex", kUnitName);
    const Unit* position = begin;
    for (std::size_t i = 0; i < count && position < end; ++i) {
        const int used = storageUsed(position, end);
        if (used == 0) {
            break; // a malformed unit never advances, however many times we try
        }
        position += used;
    }
    return position - begin;
}

} // namespace Lang::Platform
