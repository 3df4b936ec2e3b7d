// The parser behind every path value: it recognises the root, makes the
// separators canonical, resolves "." and ".." and refuses malformed text. It
// rewrites the text in place, so the text quoted by an error is the working
// copy at the moment of failure.
#pragma once

#include "lang/CharacterProperties.h"
#include "lang/Throw.h"
#include "system/RootType.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace System {

template <class Traits>
class BasicPath;

namespace Private {

// Each throw site has a fixed number in its location text, whatever line of
// this file it sits on.
enum ThrowSite : unsigned {
    MalformedVolumeSite = 143,
    TooManyDotsSite = 234,
    DotsBeforeTextSite = 242,
    InvalidCharacterSite = 252,
};

// Decodes the character at `index` (before the end of `text`) and sets `width`
// to the units it takes. Throws std::invalid_argument for malformed UTF-16.
std::int32_t decodeAt(std::u16string_view text, std::size_t index, std::size_t& width);

// Removes the white space around `text`, then one quote (" or ') from its
// front and, when it had two units or more, one from its back.
void trimAndUnquote(std::u16string& text);

// "System/Private/PathStringParser(<site>) :
// System::Private::PathStringParser<<traits>>::<function>"
std::string parserLocation(unsigned site, const std::type_info& traits, std::string_view function);

// `reason`: in path string "<text in Windows-1252>". The text from `unread` on
// is decoded first, so malformed UTF-16 that the parser had not reached yet is
// still reported as such (std::invalid_argument).
std::string failureMessage(std::string_view reason, std::u16string_view text, std::size_t unread);

template <class Traits>
class PathStringParser {
public:
    // Recognises the root at the start of `text` (at least one unit), writes
    // the canonical separator over its separators, sets `rootLength` and
    // returns the kind of root.
    static RootType findRoot(std::uint32_t& rootLength, std::u16string& text);

    // Normalises `text` (at least one unit) in place after its root: canonical
    // separators, "." and resolvable ".." components gone, one trailing
    // separator removed. Sets `rootLength` and returns the kind of root.
    static RootType processPathString(std::uint32_t& rootLength, std::u16string& text);

private:
    // Position of the first separator at or after `from`, or npos.
    static std::size_t findSeparator(std::u16string_view text, std::size_t from);

    [[noreturn]] static void fail(ThrowSite site, std::string_view function,
                                  std::string_view reason, const std::u16string& text,
                                  std::size_t unread);
};

template <class Traits>
std::size_t PathStringParser<Traits>::findSeparator(std::u16string_view text, std::size_t from)
{
    std::size_t width = 0;
    for (std::size_t i = from; i < text.size(); i += width) {
        if (Traits::isSeparator(decodeAt(text, i, width))) {
            return i;
        }
    }
    return std::u16string_view::npos;
}

template <class Traits>
void PathStringParser<Traits>::fail(ThrowSite site, std::string_view function,
                                    std::string_view reason, const std::u16string& text,
                                    std::size_t unread)
{
    using Exception = typename BasicPath<Traits>::Exception;
    const std::string location = parserLocation(site, typeid(Traits), function);
    LANG_THROW(location, Exception(failureMessage(reason, text, unread)));
}

template <class Traits>
RootType PathStringParser<Traits>::findRoot(std::uint32_t& rootLength, std::u16string& text)
{
    constexpr char16_t separator = Traits::separator;
    const std::size_t length = text.size();
    std::size_t width = 0;
    const std::int32_t first = decodeAt(text, 0, width);

    if (Traits::isSeparator(first)) {
        text[0] = separator;
        if (length == 1 || !Traits::isSeparator(decodeAt(text, 1, width))) {
            rootLength = 1;
            return RootType::Absolute;
        }
        text[1] = separator;
        std::size_t end = length; // "//server"
        const std::size_t serverEnd = findSeparator(text, 2);
        if (serverEnd != std::u16string::npos) {
            text[serverEnd] = separator;
            if (serverEnd + 1 < length) {
                const std::size_t shareEnd = findSeparator(text, serverEnd + 1);
                if (shareEnd == std::u16string::npos) {
                    text += separator; // "//server/share" gets the separator it lacks
                    end = text.size();
                } else {
                    text[shareEnd] = separator;
                    end = shareEnd + 1;
                }
            }
        }
        rootLength = static_cast<std::uint32_t>(end);
        return RootType::Network;
    }

    if constexpr (Traits::hasVolumes) {
        // A letter outside the Basic Multilingual Plane takes two units, so the
        // colon is found after the letter's width, not at a fixed position.
        std::size_t colonWidth = 0;
        if (Lang::CharacterProperties::isAlpha(first) && width < length &&
            decodeAt(text, width, colonWidth) == u':') {
            const std::size_t third = width + colonWidth;
            if (third == length) {
                text += separator;
            } else if (Traits::isSeparator(decodeAt(text, third, width))) {
                text[third] = separator;
            } else {
                // A drive-relative path ("C:x") depends on state we do not keep.
                fail(MalformedVolumeSite, "findRoot", "Malformed Volume", text, third);
            }
            rootLength = static_cast<std::uint32_t>(third + 1);
            return RootType::Volume;
        }
    }

    rootLength = 0;
    return RootType::Relative;
}

template <class Traits>
RootType PathStringParser<Traits>::processPathString(std::uint32_t& rootLength,
                                                     std::u16string& text)
{
    constexpr char16_t separator = Traits::separator;
    constexpr std::int32_t none = -1;
    const RootType rootType = findRoot(rootLength, text);
    const std::size_t root = rootLength;
    if (root == text.size()) {
        return rootType;
    }

    std::size_t read = root;
    std::size_t write = root;            // never passes `read`: unread text is never touched
    std::size_t base = root;             // where the components that ".." may remove begin
    std::vector<std::size_t> separators; // positions of the separators written after `base`
    int dots = 0;                        // leading dots of the current component
    std::int32_t previous = none;        // the character written last

    while (read < text.size()) {
        std::size_t width = 0;
        const std::int32_t c = decodeAt(text, read, width);

        if (Traits::isSeparator(c)) {
            read += width;
            if (dots == 0) {
                // A component ended, or an empty one between two separators.
                separators.push_back(write);
                text[write++] = separator;
                previous = separator;
                continue;
            }
            if (dots == 2) {
                if (separators.empty()) {
                    // Nothing left to remove: the ".." stays and nothing
                    // before it can be removed any more.
                    text[write++] = separator;
                    base = write;
                } else {
                    separators.pop_back();
                }
            }
            // Drop the "." or ".." just written: go back to just after the
            // last separator that is kept.
            dots = 0;
            if (separators.empty()) {
                write = base;
                previous = none;
            } else {
                write = separators.back() + 1;
                previous = separator;
            }
            continue;
        }

        if (c == u'.' &&
            (previous == none || previous == separator || (previous == u'.' && dots > 0))) {
            if (++dots > Traits::maxDots) {
                fail(TooManyDotsSite, "processPathString", "... is illegal", text, read);
            }
        } else {
            if (dots > Traits::maxDotsBeforeText) {
                fail(DotsBeforeTextSite, "processPathString", "..<anything> is illegal", text,
                     read);
            }
            dots = 0;
        }
        if (c <= 0xFFFF &&
            Traits::invalidChars().find(static_cast<char16_t>(c)) != std::u16string::npos) {
            fail(InvalidCharacterSite, "processPathString", Traits::invalidCharsMsg(), text, read);
        }
        for (std::size_t i = 0; i < width; ++i) {
            text[write++] = text[read++];
        }
        previous = c;
    }

    // A last component of dots has no separator after it to resolve it.
    std::size_t end = write;
    if (dots == 1) {
        end = separators.empty() ? base : separators.back();
    } else if (dots == 2 && !separators.empty()) {
        separators.pop_back();
        end = separators.empty() ? base : separators.back();
    }
    text.resize(end);

    if (text.size() > root && text.back() == separator) {
        text.pop_back();
    }
    return rootType;
}

} // namespace Private
} // namespace System
