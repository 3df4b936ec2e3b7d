#include "lang/Utf16.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

using Lang::Platform::Utf16;

namespace {

std::int32_t decodeOne(const std::u16string& text, std::ptrdiff_t* consumed = nullptr)
{
    const char16_t* read = text.data();
    const std::int32_t c = Utf16::toChar(read, text.data() + text.size());
    if (consumed != nullptr) {
        *consumed = read - text.data();
    }
    return c;
}

// The message of the exception of type E that `action` throws.
template <class E>
std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

} // namespace

TEST(Utf16, DecodesAndEncodesUnitsAndSurrogatePairs)
{
    std::ptrdiff_t consumed = 0;
    EXPECT_EQ(decodeOne(u"A", &consumed), 0x41);
    EXPECT_EQ(consumed, 1);
    EXPECT_EQ(decodeOne(u"\uFFFF"), 0xFFFF);
    EXPECT_EQ(decodeOne(u"\U0001F600x", &consumed), 0x1F600);
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(decodeOne(u"\U00010000"), 0x10000);
    EXPECT_EQ(decodeOne(u"\U0010FFFF"), 0x10FFFF);

    char16_t out[2] = {};
    EXPECT_EQ(Utf16::toStorage(0x1F600, out, out + 2), out + 2);
    EXPECT_EQ(out[0], 0xD83D);
    EXPECT_EQ(out[1], 0xDE00);
    // Not validated: a lone surrogate code point is written as it is.
    EXPECT_EQ(Utf16::toStorage(0xD800, out, out + 1), out + 1);
    EXPECT_EQ(out[0], 0xD800);
}

TEST(Utf16, RefusesEveryMalformedSurrogateOrder)
{
    const std::pair<std::u16string, const char*> cases[] = {
        {{char16_t(0xDC00)}, "Unpaired UTF-16 low-surrogate"},
        {{char16_t(0xD800)}, "Incomplete UTF-16 surrogate pair"},
        {{char16_t(0xDBFF), u'a'}, "Unpaired UTF-16 high-surrogate"},
        {{char16_t(0xD800), char16_t(0xD800)}, "Unpaired UTF-16 high-surrogate"},
        // A low surrogate is refused before anything else is looked at.
        {{char16_t(0xDFFF), char16_t(0xDC00)}, "Unpaired UTF-16 low-surrogate"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(messageOf<std::invalid_argument>([&] { decodeOne(text); }), message);
    }
}

TEST(Utf16, StorageUsedAndGetIndex)
{
    const std::u16string text = u"a\U0001F600b";
    const char16_t* begin = text.data();
    const char16_t* end = begin + text.size();
    EXPECT_EQ(Utf16::storageUsed(begin, end), 1);
    EXPECT_EQ(Utf16::storageUsed(begin + 1, end), 2);
    EXPECT_EQ(Utf16::storageUsed(begin + 2, end), 0);       // the low half
    EXPECT_EQ(Utf16::storageUsed(begin + 1, begin + 2), 0); // pair cut by the end

    EXPECT_EQ(Utf16::getIndex(begin, end, 1), 1);
    EXPECT_EQ(Utf16::getIndex(begin, end, 2), 3);
    EXPECT_EQ(Utf16::getIndex(begin, end, 99), 4);
    const std::u16string malformed{u'a', char16_t(0xDC00), u'b'};
    EXPECT_EQ(Utf16::getIndex(malformed.data(), malformed.data() + 3, 3), 1);
}

TEST(Utf16, EveryOperationChecksItsRange)
{
    const std::string prefix = "Invalid pointer range passed to Lang::Platform::Utf16::";
    const char16_t text[] = u"ab";
    const char16_t* p = text + 1;
    char16_t out[2] = {};
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { Utf16::toChar(p, p); }, "toChar: type=wchar_t, required=1, available=0"},
        {[&] { Utf16::toChar(p, p - 1); }, "toChar: type=wchar_t, required=1, available=-1"},
        {[&] { Utf16::storageUsed(p, p); }, "storageUsed: type=wchar_t, required=1, available=0"},
        {[&] { Utf16::getIndex(p, p, 0); }, "getIndex: type=wchar_t, required=1, available=0"},
        {[&] { Utf16::toStorage(0x1F600, out, out + 1); },
         "toStorage: type=wchar_t, required=2, available=1"},
        {[&] { Utf16::toStorage(0x41, out, out); },
         "toStorage: type=wchar_t, required=1, available=0"},
    };
    for (const auto& [call, message] : cases) {
        EXPECT_EQ(messageOf<std::range_error>(call), prefix + message);
    }
}
