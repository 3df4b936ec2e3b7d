// Unicode 5.2 properties of the code points U+0000 to U+2FA1D; code points above
// have no properties.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Lang::CharacterProperties {

enum Flag : std::uint32_t {
    Control = 0x001,
    Punctuation = 0x002,
    Symbol = 0x004,
    DecimalDigit = 0x008,
    Space = 0x010, // Unicode White_Space
    HexDigit = 0x020,
    MathSymbol = 0x040,
    Alpha = 0x080, // Unicode Alphabetic
    Lower = 0x100,
    Upper = 0x200,
};

inline constexpr std::int32_t lastCodePoint = 0x2FA1D;

// The flag word of a code point; 0 outside the table.
std::uint32_t flags(std::int32_t codePoint);

inline bool isAlpha(std::int32_t codePoint)
{
    return (flags(codePoint) & Alpha) != 0;
}
inline bool isSpace(std::int32_t codePoint)
{
    return (flags(codePoint) & Space) != 0;
}

} // namespace Lang::CharacterProperties

namespace Lang::CharacterPropertiesData {

// A run of code points with equal flags, from `first` up to the next run.
struct Run {
    std::uint32_t first;
    std::uint16_t flags;
};

extern const std::size_t runCount;
extern const Run runs[];

} // namespace Lang::CharacterPropertiesData
