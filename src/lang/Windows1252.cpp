#include "lang/Windows1252.h"

#include "lang/RangeCheck.h"

#include <cstdio>

namespace Lang::Platform {

namespace {

constexpr const char* kUnitName = "char";

// Bytes 0x80 to 0x9F; every other byte is its own code point.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

constexpr std::uint32_t kLastCodePoint = 0x10FFFF;

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digitValue(char c, unsigned base)
{
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'z') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'Z') {
        value = c - 'A' + 10;
    }
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

// strtoul's rules (leading white space, a sign, "0x" in base 16, saturation on
// overflow, negation of a '-' value) over a buffer that need not end in NUL.
// Returns the end of the digits, or `begin` when no digit was consumed.
const char* parseUnsigned(const char* begin, const char* end, unsigned base, std::uint64_t& value)
{
    const char* p = begin;
    while (p < end && isCSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (base == 16 && end - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        digitValue(p[2], 16) >= 0) {
        p += 2;
    }
    const char* digits = p;
    constexpr std::uint64_t kSaturated = 0xFFFFFFFFFFFFFFFFull;
    std::uint64_t result = 0;
    for (int d; p < end && (d = digitValue(*p, base)) >= 0; ++p) {
        if (result > (kSaturated - static_cast<unsigned>(d)) / base) {
            result = kSaturated;
        } else if (result != kSaturated) {
            result = result * base + static_cast<unsigned>(d);
        }
    }
    if (p == digits) {
        return begin;
    }
    value = negative && result != kSaturated ? 0 - result : result;
    return p;
}

int hexDigitCount(std::uint32_t value)
{
    int count = 1;
    while (value >>= 4) {
        ++count;
    }
    return count;
}

} // namespace

std::int32_t Windows1252::decodeByte(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte;
}

std::int32_t Windows1252::toChar(const Unit*& read, const Unit* end)
{
    Detail::checkRange(read, end, 1, "Lang::Platform::Windows1252::toChar", kUnitName);
    if (read[0] == '&' && end - read >= 4 && read[1] == '#') {
        const bool hex = read[2] == 'x';
        const char* digits = read + (hex ? 3 : 2);
        std::uint64_t value = 0;
        const char* digitsEnd = parseUnsigned(digits, end, hex ? 16 : 10, value);
        if (digitsEnd != digits && value <= kLastCodePoint && digitsEnd < end &&
            *digitsEnd == ';') {
            read = digitsEnd + 1;
            return static_cast<std::int32_t>(value);
        }
    }
    return decodeByte(static_cast<unsigned char>(*read++));
}

Windows1252::Unit* Windows1252::toStorage(std::int32_t codePoint, Unit* destination,
                                          Unit* destinationEnd)
{
    Detail::checkRange(destination, destinationEnd, 1, "Lang::Platform::Windows1252::toStorage",
                       kUnitName);
    if (codePoint >= 0 && codePoint < 256 &&
        decodeByte(static_cast<unsigned char>(codePoint)) == codePoint) {
        *destination++ = static_cast<char>(codePoint);
        return destination;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == codePoint) {
            *destination++ = static_cast<char>(0x80 + i);
            return destination;
        }
    }
    const auto value = static_cast<std::uint32_t>(codePoint);
    const int length = 3 + hexDigitCount(value) + 1;
    Detail::checkRange(destination, destinationEnd, length,
                       "Lang::Platform::Windows1252::toStorage", kUnitName);
    char escape[16];
    if (std::snprintf(escape, sizeof escape, "&#x%X;", static_cast<unsigned>(value)) != length) {
        return destination;
    }
    for (int i = 0; i < length; ++i) {
        *destination++ = escape[i];
    }
    return destination;
}

} // namespace Lang::Platform
