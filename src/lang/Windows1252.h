// Windows-1252 storage, the handset's encoding of names. Characters the code
// page lacks travel as numeric character references ("&#x263A;"), which are
// decoded back, so every Unicode character survives a trip to the handset.
#pragma once

#include <cstdint>

namespace Lang::Platform {

class Windows1252 {
public:
    using Unit = char;

    // Decodes the character at `read`, a numeric character reference ("&#x41;"
    // or "&#65;") included, and advances `read` past it.
    static std::int32_t toChar(const Unit*& read, const Unit* end);

    // Encodes `codePoint` as its byte, or as a "&#x...;" reference when the
    // code page lacks it; returns the end of what was written.
    static Unit* toStorage(std::int32_t codePoint, Unit* destination, Unit* destinationEnd);

    // The code point of one byte: the published code page, with its five
    // unassigned bytes mapped to the C1 controls of the same value.
    static std::int32_t decodeByte(unsigned char byte);
};

} // namespace Lang::Platform
