#include "lang/Format.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace Lang {

namespace {

// One conversion directive, as parsed from the format.
struct Conversion {
    std::string flags;
    int width = -1;     // -1: none
    int precision = -1; // -1: none
    std::string length; // "", "hh", "h", "l", "ll", "j", "z", "t", "L", "w"
    char conversion = 0;

    // The directive again, with '*' replaced by the values taken.
    std::string text(char conversionChar, bool keepLength = true) const
    {
        std::string directive = "%" + flags;
        if (width >= 0) {
            directive += std::to_string(width);
        }
        if (precision >= 0) {
            directive += "." + std::to_string(precision);
        }
        if (keepLength) {
            directive += length;
        }
        directive += conversionChar;
        return directive;
    }
};

template <class T>
void appendFormatted(std::string& out, const std::string& directive, T value)
{
    char small[128];
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    const int needed = std::snprintf(small, sizeof small, directive.c_str(), value);
    if (needed < 0) {
        return;
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        out.append(small, static_cast<std::size_t>(needed));
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed) + 1);
    std::snprintf(&out[start], static_cast<std::size_t>(needed) + 1, directive.c_str(), value);
    out.resize(start + static_cast<std::size_t>(needed));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

std::string narrowLowBytes(const char16_t* text)
{
    std::string result;
    if (text != nullptr) {
        for (; *text != u'\0'; ++text) {
            result += static_cast<char>(*text & 0xFF);
        }
    }
    return result;
}

bool isFlag(char c)
{
    return std::strchr("-+ #0'", c) != nullptr && c != '\0';
}

} // namespace

std::string vformat(const char* format, std::va_list arguments)
{
    std::string out;
    if (format == nullptr) {
        return out;
    }
    std::va_list ap;
    va_copy(ap, arguments);
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const char* directiveStart = p++;
        Conversion c;
        while (isFlag(*p)) {
            c.flags += *p++;
        }
        if (*p == '*') {
            c.width = va_arg(ap, int);
            if (c.width < 0) {
                c.flags += '-';
                c.width = -c.width;
            }
            ++p;
        } else {
            for (c.width = *p >= '0' && *p <= '9' ? 0 : -1; *p >= '0' && *p <= '9'; ++p) {
                c.width = c.width * 10 + (*p - '0');
            }
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                c.precision = va_arg(ap, int);
                ++p;
            } else {
                for (c.precision = 0; *p >= '0' && *p <= '9'; ++p) {
                    c.precision = c.precision * 10 + (*p - '0');
                }
            }
        }
        if ((p[0] == 'h' && p[1] == 'h') || (p[0] == 'l' && p[1] == 'l')) {
            c.length.assign(p, 2);
            p += 2;
        } else if (std::strchr("hljztLw", *p) != nullptr && *p != '\0') {
            c.length.assign(p, 1);
            ++p;
        }
        c.conversion = *p;
        if (c.conversion == '\0') {
            out.append(directiveStart); // an incomplete directive is plain text
            break;
        }
        ++p;

        const bool wide = c.length == "w" || c.length == "l";
        switch (c.conversion) {
        case '%':
            out += '%';
            break;
        case 's': {
            std::string text;
            if (wide) {
                text = narrowLowBytes(va_arg(ap, const char16_t*));
            } else if (const char* narrow = va_arg(ap, const char*)) {
                text = narrow;
            }
            if (c.flags.empty() && c.width < 0 && c.precision < 0) {
                out += text;
            } else {
                appendFormatted(out, c.text('s', false), text.c_str());
            }
            break;
        }
        case 'c':
            appendFormatted(out, c.text('c', false),
                            wide ? static_cast<int>(va_arg(ap, unsigned int) & 0xFF)
                                 : va_arg(ap, int));
            break;
        case 'd':
        case 'i':
            if (c.length == "l") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, long));
            } else if (c.length == "ll") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, long long));
            } else if (c.length == "j") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, std::intmax_t));
            } else if (c.length == "z" || c.length == "t") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, std::ptrdiff_t));
            } else {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, int));
            }
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            if (c.length == "l") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, unsigned long));
            } else if (c.length == "ll") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, unsigned long long));
            } else if (c.length == "j") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, std::uintmax_t));
            } else if (c.length == "z" || c.length == "t") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, std::size_t));
            } else {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, unsigned int));
            }
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (c.length == "L") {
                appendFormatted(out, c.text(c.conversion), va_arg(ap, long double));
            } else {
                appendFormatted(out, c.text(c.conversion, false), va_arg(ap, double));
            }
            break;
        case 'p':
            appendFormatted(out, c.text('p', false), va_arg(ap, void*));
            break;
        case 'n': {
            void* target = va_arg(ap, void*);
            const auto count = out.size();
            if (c.length == "hh") {
                *static_cast<signed char*>(target) = static_cast<signed char>(count);
            } else if (c.length == "h") {
                *static_cast<short*>(target) = static_cast<short>(count);
            } else if (c.length == "l") {
                *static_cast<long*>(target) = static_cast<long>(count);
            } else if (c.length == "ll") {
                *static_cast<long long*>(target) = static_cast<long long>(count);
            } else if (c.length == "j" || c.length == "z" || c.length == "t") {
                *static_cast<std::size_t*>(target) = count;
            } else {
                *static_cast<int*>(target) = static_cast<int>(count);
            }
            break;
        }
        default:
            out.append(directiveStart, p); // not a conversion: copied as written
            break;
        }
    }
    va_end(ap);
    return out;
}

std::string format(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::string result = vformat(format, arguments);
    va_end(arguments);
    return result;
}

} // namespace Lang
