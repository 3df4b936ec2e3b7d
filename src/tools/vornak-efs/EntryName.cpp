#include "tools/vornak-efs/EntryName.h"

#include "lang/Utf16.h"
#include "tools/vornak-efs/Text.h"

#include <cstdio>
#include <utility>

namespace VornakEfs {

namespace {

using Lang::Platform::Utf16;

bool isControl(std::int32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The character at `name[at]` and the units it takes; 0 units for an
// unpaired surrogate.
std::pair<std::int32_t, std::size_t> characterAt(std::u16string_view name, std::size_t at)
{
    const char16_t* end = name.data() + name.size();
    const int units = Utf16::storageUsed(name.data() + at, end);
    if (units == 0) {
        return {name[at], 0};
    }
    const char16_t* read = name.data() + at;
    return {Utf16::toChar(read, end), static_cast<std::size_t>(units)};
}

} // namespace

bool leavesDirectory(std::u16string_view name)
{
    return name.empty() || name == u"." || name == u".." ||
           name.find_first_of(std::u16string_view(u"/\0", 2)) != std::u16string_view::npos;
}

std::optional<std::string> unsafeEntryName(std::u16string_view name)
{
    if (name.empty()) {
        return "an empty name";
    }
    if (name == u"." || name == u"..") {
        return "the name \"" + toUtf8(name) + "\", which is no file of its own";
    }
    if (name.front() == u'/' || name.front() == u'\\') {
        return "an absolute name";
    }
    for (std::size_t i = 0; i < name.size();) {
        const auto [c, units] = characterAt(name, i);
        if (units == 0) {
            return "a name that is not valid Unicode";
        }
        i += units;
        if (c == 0) {
            return "a name with a NUL in it";
        }
        if (isControl(c)) {
            return "a name with a control character in it";
        }
        if (c == u'/' || c == u'\\') {
            return std::string("a name with a \"") + static_cast<char>(c) + "\" in it";
        }
#if defined(_WIN32)
        // A drive ("C:x") or a stream of another file ("a:b") to Windows.
        if (c == u':') {
            return "a name with a \":\" in it";
        }
#endif
    }
    return std::nullopt;
}

std::string printableName(std::u16string_view name)
{
    for (std::size_t i = 0; i < name.size();) {
        const auto [c, units] = characterAt(name, i);
        if (units == 0 || isControl(c)) {
            return quotedName(name);
        }
        i += units;
    }
    return toUtf8(name);
}

std::string quotedName(std::u16string_view name)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < name.size();) {
        const auto [c, units] = characterAt(name, i);
        const std::size_t consumed = units == 0 ? 1 : units;
        char escape[16] = {};
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (isControl(c)) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            out += escape;
        } else if (units == 0) { // an unpaired surrogate, shown by its number
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += toUtf8(name.substr(i, consumed));
        }
        i += consumed;
    }
    return out + "\"";
}

} // namespace VornakEfs
