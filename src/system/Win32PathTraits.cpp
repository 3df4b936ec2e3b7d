#include "system/Win32PathTraits.h"

namespace System::Win32 {

const std::u16string& PathTraits::invalidChars()
{
    // Spelled out with its length: the set ends in NUL.
    static const std::u16string chars(u":*?\"<>|\r\n\b\0", 11);
    return chars;
}

const std::string& PathTraits::invalidCharsMsg()
{
    static const std::string message =
        "paths may not contain any of the following: :*?\"<>|\\r\\n\\b\\0";
    return message;
}

} // namespace System::Win32
