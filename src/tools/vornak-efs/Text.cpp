#include "tools/vornak-efs/Text.h"

#include "lang/Utf16.h"
#include "tools/vornak-efs/Failure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace VornakEfs {

using Lang::Platform::Utf16;

namespace {

[[noreturn]] void malformed()
{
    throw std::invalid_argument("the text is not valid UTF-8");
}

std::uint32_t continuation(std::string_view text, std::size_t at)
{
    if (at >= text.size() || (static_cast<std::uint8_t>(text[at]) & 0xC0) != 0x80) {
        malformed();
    }
    return static_cast<std::uint8_t>(text[at]) & 0x3Fu;
}

void appendUtf8(std::uint32_t c, std::string& out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::u16string fromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        std::uint32_t c = 0;
        std::size_t length = 1;
        if (lead < 0x80) {
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            c = ((lead & 0x1Fu) << 6) | continuation(text, i + 1);
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            c = ((lead & 0x0Fu) << 12) | (continuation(text, i + 1) << 6) |
                continuation(text, i + 2);
            length = 3;
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) {
                malformed(); // overlong, or a surrogate
            }
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            c = ((lead & 0x07u) << 18) | (continuation(text, i + 1) << 12) |
                (continuation(text, i + 2) << 6) | continuation(text, i + 3);
            length = 4;
            if (c < 0x10000 || c > 0x10FFFF) {
                malformed();
            }
        } else {
            malformed();
        }
        std::array<char16_t, 2> units{};
        char16_t* end = Utf16::toStorage(static_cast<std::int32_t>(c), units.data(),
                                         units.data() + units.size());
        out.append(units.data(), static_cast<std::size_t>(end - units.data()));
        i += length;
    }
    return out;
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    const char16_t* read = text.data();
    const char16_t* const end = text.data() + text.size();
    while (read != end) {
        appendUtf8(static_cast<std::uint32_t>(Utf16::toChar(read, end)), out);
    }
    return out;
}

std::u16string handsetPath(std::string_view typed)
{
    std::u16string text;
    try {
        text = fromUtf8(typed);
    } catch (const std::invalid_argument&) {
        throw Failure(kUsage, "the handset path '" + std::string(typed) + "' is not valid UTF-8");
    }
    // As the handset resolves names: empty components and "." are skipped,
    // ".." removes the component before it and stops at the root.
    std::vector<std::u16string_view> components;
    const std::u16string_view all(text);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t slash = all.find(u'/', start);
        if (slash == std::u16string_view::npos) {
            slash = all.size();
        }
        const std::u16string_view component = all.substr(start, slash - start);
        if (component == u"..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (!component.empty() && component != u".") {
            components.push_back(component);
        }
        start = slash + 1;
    }
    std::u16string path;
    for (const auto component : components) {
        path += u'/';
        path += component;
    }
    return path.empty() ? u"/" : path;
}

std::u16string joinHandset(std::u16string_view directory, std::u16string_view name)
{
    std::u16string path(directory);
    if (path.empty() || path.back() != u'/') {
        path += u'/';
    }
    path += name;
    return path;
}

std::u16string_view baseName(std::u16string_view path)
{
    const std::size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::filesystem::path hostPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string hostText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path hostBaseName(const std::filesystem::path& path)
{
    std::filesystem::path normal = std::filesystem::absolute(path).lexically_normal();
    if (!normal.has_filename()) {
        normal = normal.parent_path();
    }
    return normal.filename();
}

std::string formatBytes(std::uint64_t bytes)
{
    if (bytes < 1024) {
        return std::to_string(bytes) + " B";
    }
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    auto value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string formatDuration(double seconds)
{
    const auto whole = static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds)));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(whole / 3600),
                      static_cast<unsigned long long>(whole / 60 % 60),
                      static_cast<unsigned long long>(whole % 60));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(whole / 60),
                      static_cast<unsigned long long>(whole % 60));
    }
    return text;
}

} // namespace VornakEfs
