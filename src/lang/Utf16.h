// UTF-16 storage: one unit for code points up to U+FFFF, a surrogate pair above.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Lang::Platform {

class Utf16 {
public:
    using Unit = char16_t;

    // Decodes the character at `read` and advances `read` past it. Throws
    // std::invalid_argument for an unpaired or incomplete surrogate.
    static std::int32_t toChar(const Unit*& read, const Unit* end);

    // Encodes `codePoint` (not validated) at `destination`; returns the end of
    // what was written.
    static Unit* toStorage(std::int32_t codePoint, Unit* destination, Unit* destinationEnd);

    // The number of units of the character at `position`: 1 or 2, or 0 when
    // the unit there cannot start a character.
    static int storageUsed(const Unit* position, const Unit* end);

    // The unit index, from `begin`, of the character that follows `count`
    // characters. A malformed unit does not advance.
    static std::ptrdiff_t getIndex(const Unit* begin, const Unit* end, std::size_t count);

    static bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
    static bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
};

} // namespace Lang::Platform
