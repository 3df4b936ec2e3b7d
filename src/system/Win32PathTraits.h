// The path rules of the host computer's file system.
#pragma once

#include <cstdint>
#include <string>

namespace System::Win32 {

// "\" is canonical and "/" is accepted as well; a letter and ":" start a
// volume root; the characters Windows refuses in names are refused, and a
// component that starts with ".." must be ".." itself.
class PathTraits {
public:
    static constexpr char16_t separator = u'\\';
    static constexpr bool hasVolumes = true;
    // The most dots a component may start with.
    static constexpr int maxDots = 2;
    // The most leading dots a component may have and still go on with other
    // characters (".x" is a name, "..x" is not).
    static constexpr int maxDotsBeforeText = 1;

    static constexpr bool isSeparator(std::int32_t c) { return c == u'\\' || c == u'/'; }

    // The characters refused after the root: ':', '*', '?', '"', '<', '>',
    // '|', CR, LF, backspace and NUL.
    static const std::u16string& invalidChars();
    // The reason given for an invalid character; it lists them, the control
    // characters written as "\r", "\n", "\b" and "\0".
    static const std::string& invalidCharsMsg();
};

} // namespace System::Win32
