// printf-style formatting into a std::string. Besides printf's conversions it
// takes "%ws" (and "%ls") for NUL-terminated UTF-16 text, of which it copies the
// low 8 bits of each unit. A null string pointer produces nothing.
#pragma once

#include <cstdarg>
#include <string>

namespace Lang {

std::string format(const char* format, ...);
std::string vformat(const char* format, std::va_list arguments);

} // namespace Lang
