#include "system/Private/PathStringParser.h"

#include "lang/TypeName.h"
#include "lang/Utf16.h"
#include "lang/Windows1252.h"

namespace System::Private {

using Lang::Platform::Utf16;

std::int32_t decodeAt(std::u16string_view text, std::size_t index, std::size_t& width)
{
    const char16_t* start = text.data() + index;
    const char16_t* read = start;
    const std::int32_t c = Utf16::toChar(read, text.data() + text.size());
    width = static_cast<std::size_t>(read - start);
    return c;
}

void trimAndUnquote(std::u16string& text)
{
    using Lang::CharacterProperties::isSpace;
    std::size_t begin = 0;
    std::size_t width = 0;
    while (begin < text.size() && isSpace(decodeAt(text, begin, width))) {
        begin += width;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t last = end - 1;
        if (last > begin && Utf16::isLowSurrogate(text[last]) &&
            Utf16::isHighSurrogate(text[last - 1])) {
            --last;
        }
        if (!isSpace(decodeAt(text, last, width))) {
            break;
        }
        end = last;
    }
    text.erase(end);
    text.erase(0, begin);

    const auto isQuote = [](char16_t unit) { return unit == u'"' || unit == u'\''; };
    const std::size_t length = text.size();
    if (length > 0 && isQuote(text.front())) {
        text.erase(0, 1);
    }
    if (length >= 2 && isQuote(text.back())) {
        text.pop_back();
    }
}

std::string parserLocation(unsigned site, const std::type_info& traits, std::string_view function)
{
    std::string name = "System::Private::PathStringParser<";
    name += Lang::printableTypeName(traits);
    name += ">::";
    name += function;
    return Lang::locationText("System/Private/PathStringParser", site, name);
}

std::string failureMessage(std::string_view reason, std::u16string_view text, std::size_t unread)
{
    std::size_t width = 0;
    for (std::size_t i = unread; i < text.size(); i += width) {
        decodeAt(text, i, width);
    }

    std::string message(reason);
    message += ": in path string \"";
    // Rewriting in place can leave half of a surrogate pair behind in the gap
    // between the written and the unread text; such a unit is quoted as a
    // reference of its own rather than refused.
    for (std::size_t i = 0; i < text.size(); i += width) {
        std::int32_t c = text[i];
        width = 1;
        if (Utf16::storageUsed(text.data() + i, text.data() + text.size()) != 0) {
            c = decodeAt(text, i, width);
        }
        char scratch[11]; // the longest reference, "&#x10FFFF;", and room to spare
        char* written = Lang::Platform::Windows1252::toStorage(c, scratch, scratch + 11);
        message.append(scratch, static_cast<std::size_t>(written - scratch));
    }
    message += '"';
    return message;
}

} // namespace System::Private
