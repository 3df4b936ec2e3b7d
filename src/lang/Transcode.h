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

// Windows-1252 to UTF-16 byte for byte, references left as they are: the
// text whose transcode() is `bytes` again. Decoding references is not
// one-to-one (a name may hold "&#x41;" itself), so this is how a name the
// handset listed goes back to it unchanged.
std::u16string transcodeVerbatim(std::string_view bytes);

} // namespace Lang::Platform
