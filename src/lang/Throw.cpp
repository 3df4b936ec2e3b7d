#include "lang/Throw.h"

namespace Lang {

std::string locationText(std::string_view file, unsigned line, std::string_view function)
{
    std::string text(file);
    text += '(';
    text += std::to_string(line);
    text += ") : ";
    text += function;
    return text;
}

} // namespace Lang
