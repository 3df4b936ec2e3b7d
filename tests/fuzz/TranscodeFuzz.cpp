// Handset names (Windows-1252 with numeric character references) into UTF-16,
// and arbitrary UTF-16 into Windows-1252 and back. Only the documented
// exceptions may come out, and text without '&' must survive the round trip:
// every Unicode character reaches the handset and comes back.
#include "lang/Transcode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Lang::Platform::transcode;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    transcode(bytes);

    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    std::string encoded;
    try {
        encoded = transcode(text);
    } catch (const std::invalid_argument&) {
        return 0; // malformed UTF-16
    }
    if (text.find(u'&') == std::u16string::npos && transcode(encoded) != text) {
        std::abort();
    }
    return 0;
}
