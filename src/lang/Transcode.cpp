#include "lang/Transcode.h"

#include "lang/Utf16.h"
#include "lang/Windows1252.h"

namespace Lang::Platform {

std::string transcode(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    const char16_t* read = text.data();
    const char16_t* end = read + text.size();
    while (read < end) {
        char scratch[11]; // the longest reference, "&#x10FFFF;", and room to spare
        char* written =
            Windows1252::toStorage(Utf16::toChar(read, end), scratch, scratch + sizeof scratch);
        result.append(scratch, static_cast<std::size_t>(written - scratch));
    }
    return result;
}

std::u16string transcode(std::string_view bytes)
{
    std::u16string result;
    result.reserve(bytes.size());
    const char* read = bytes.data();
    const char* end = read + bytes.size();
    while (read < end) {
        char16_t scratch[2];
        char16_t* written = Utf16::toStorage(Windows1252::toChar(read, end), scratch, scratch + 2);
        result.append(scratch, static_cast<std::size_t>(written - scratch));
    }
    return result;
}

std::u16string transcodeVerbatim(std::string_view bytes)
{
    std::u16string result;
    result.reserve(bytes.size());
    for (const char byte : bytes) {
        // Every code point of the table is in the basic plane: one unit each.
        result.push_back(
            static_cast<char16_t>(Windows1252::decodeByte(static_cast<unsigned char>(byte))));
    }
    return result;
}

} // namespace Lang::Platform
