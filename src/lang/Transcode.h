// Whole-string conversion between the UTF-16 text of the system and the
// Windows-1252 bytes of the handset.
#pragma once

#include <string>
#include <string_view>

namespace Lang::Platform {

// UTF-16 to Windows-1252, with "&#x...;" references for what the code page
// lacks. Throws std::invalid_argument for malformed UTF-16.
std::string transcode(std::u16string_view text);

// Windows-1252 to UTF-16, numeric character references decoded.
std::u16string transcode(std::string_view bytes);

} // namespace Lang::Platform
