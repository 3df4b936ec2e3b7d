// Arbitrary UTF-16 text into the handset and the host path parsers. Only a
// path, the path exception of the traits or std::invalid_argument may come
// out, the last exactly when the text is malformed UTF-16. A parsed path keeps
// its invariants, and parsing its text again gives the same path unless the
// text has one of the shapes that a second parse changes on purpose.
#include "lang/CharacterProperties.h"
#include "lang/Utf16.h"
#include "system/BasicPath.h"
#include "system/EfsPathTraits.h"
#include "system/Win32PathTraits.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using Lang::Platform::Utf16;
using System::RootType;

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool wellFormed(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const int used = Utf16::storageUsed(text.data() + i, text.data() + text.size());
        if (used == 0) {
            return false;
        }
        i += static_cast<std::size_t>(used);
    }
    return true;
}

std::int32_t decode(std::u16string_view text, std::size_t index)
{
    const char16_t* read = text.data() + index;
    return Utf16::toChar(read, text.data() + text.size());
}

template <class Traits>
void requireInvariants(const System::BasicPath<Traits>& path)
{
    constexpr char16_t separator = Traits::separator;
    const std::u16string& text = path.path();
    const std::size_t root = path.rootLength();
    require(root <= text.size());
    require(wellFormed(text));
    for (const char16_t unit : text) {
        require(!Traits::isSeparator(unit) || unit == separator);
    }

    // The text begins with its root.
    switch (path.rootType()) {
    case RootType::Relative:
        require(root == 0);
        break;
    case RootType::Absolute:
        require(root == 1 && text[0] == separator);
        break;
    case RootType::Volume:
        require(Traits::hasVolumes && root >= 3 && text[root - 2] == u':' &&
                text[root - 1] == separator && Lang::CharacterProperties::isAlpha(decode(text, 0)));
        break;
    case RootType::Network:
        require(root >= 2 && text[0] == separator && text[1] == separator &&
                (root == text.size() || text[root - 1] == separator));
        break;
    default:
        require(false);
    }

    // After the root: no "." component, no "..." at the start of one, ".."
    // only before every other component, and the traits' own refusals.
    bool onlyDotDots = true;
    std::size_t start = root;
    while (root < text.size() && start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        const std::u16string_view component(text.data() + start, end - start);
        require(component != u".");
        require(component.substr(0, 3) != u"...");
        if (component == u"..") {
            require(onlyDotDots);
        } else {
            onlyDotDots = false;
            require(Traits::maxDotsBeforeText >= 2 || component.substr(0, 2) != u"..");
        }
        for (const char16_t unit : component) {
            require(Traits::invalidChars().find(unit) == std::u16string::npos);
        }
        start = end + 1;
    }
}

// Shapes whose second parse differs from the first: blanks or quotes at an end
// (trimming and unquoting happen once, before anything is removed), a trailing
// separator after the root (one is removed per parse), and a separator that
// "./" or "x/.." left at the start of a relative or absolute path, where a
// second parse reads it as (part of) a root.
template <class Traits>
bool reparsesTheSame(const System::BasicPath<Traits>& path)
{
    const std::u16string& text = path.path();
    const std::size_t root = path.rootLength();
    if (text.empty()) {
        return true;
    }
    const auto isQuote = [](char16_t unit) { return unit == u'"' || unit == u'\''; };
    std::size_t last = text.size() - 1;
    if (last > 0 && Utf16::isLowSurrogate(text[last])) {
        --last;
    }
    using Lang::CharacterProperties::isSpace;
    if (isQuote(text.front()) || isQuote(text.back()) || isSpace(decode(text, 0)) ||
        isSpace(decode(text, last))) {
        return false;
    }
    if (text.size() > root && text.back() == Traits::separator) {
        return false;
    }
    const bool rootCanGrow =
        path.rootType() == RootType::Relative || path.rootType() == RootType::Absolute;
    return !(rootCanGrow && text.size() > root && text[root] == Traits::separator);
}

template <class Traits>
void parse(const std::u16string& input, bool malformed)
{
    using Path = System::BasicPath<Traits>;
    try {
        const Path path(input);
        require(!malformed);
        requireInvariants(path);
        if (reparsesTheSame(path)) {
            const Path again(path.path());
            require(again.path() == path.path() && again.rootLength() == path.rootLength() &&
                    again.rootType() == path.rootType());
        }
    } catch (const typename Path::Exception& e) {
        require(!malformed);
        const std::string_view location = e.location();
        require(location.substr(0, 32) == "System/Private/PathStringParser(");
        require(std::string_view(e.what()).find(": in path string \"") != std::string_view::npos);
    } catch (const std::invalid_argument&) {
        require(malformed);
    }
}

// The first byte chooses how the rest is read. Random units seldom form paths,
// so when it is odd each byte picks one of the characters paths are made of
// (surrogate halves included, so pairs form and break); when it is even the
// rest is UTF-16LE text.
std::u16string textOf(const std::uint8_t* data, std::size_t size)
{
    static constexpr char16_t alphabet[] = {
        u'/', u'\\', u'.',      u'.',      u'.', u'a', u'C',   u':',   u' ',   u'\'', u'"',
        u'*', u'\0', u'\u3000', u'\u00e9', u'x', u'/', 0xD83D, 0xDE00, 0xD801, 0xDC00};
    std::u16string text;
    if (size > 0 && (data[0] & 1) != 0) {
        for (std::size_t i = 1; i < size; ++i) {
            text += alphabet[data[i] % std::size(alphabet)];
        }
        return text;
    }
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::u16string input = textOf(data, size);
    const bool malformed = !wellFormed(input);
    parse<Marl::Efs::PathTraits>(input, malformed);
    parse<System::Win32::PathTraits>(input, malformed);
    return 0;
}
