#include "lang/Utf16.h"

#include <gtest/gtest.h>

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

std::string invalidArgumentOf(const std::u16string& text)
{
    try {
        decodeOne(text);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "(no exception)";
}

} // namespace

TEST(Utf16, DecodesUnitsAndSurrogatePairs)
{
    std::ptrdiff_t consumed = 0;
    EXPECT_EQ(decodeOne(u"A", &consumed), 0x41);
    EXPECT_EQ(consumed, 1);
    EXPECT_EQ(decodeOne(u"\uFFFF", &consumed), 0xFFFF);
    EXPECT_EQ(decodeOne(u"\U0001F600x", &consumed), 0x1F600);
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(decodeOne(u"\U00010000"), 0x10000);
    EXPECT_EQ(decodeOne(u"\U0010FFFF"), 0x10FFFF);
}

TEST(Utf16, RefusesEveryMalformedSurrogateOrder)
{
    EXPECT_EQ(invalidArgumentOf(std::u16string(1, char16_t(0xDC00))),
              "Unpaired UTF-16 low-surrogate");
    EXPECT_EQ(invalidArgumentOf(std::u16string(1, char16_t(0xD800))),
              "Incomplete UTF-16 surrogate pair");
    EXPECT_EQ(invalidArgumentOf(std::u16string{char16_t(0xDBFF), u'a'}),
              "Unpaired UTF-16 high-surrogate");
    EXPECT_EQ(invalidArgumentOf(std::u16string{char16_t(0xD800), char16_t(0xD800)}),
              "Unpaired UTF-16 high-surrogate");
    // A low surrogate is refused before anything else is looked at.
    EXPECT_EQ(invalidArgumentOf(std::u16string{char16_t(0xDFFF), char16_t(0xDC00)}),
              "Unpaired UTF-16 low-surrogate");
}

TEST(Utf16, EncodesOneOrTwoUnits)
{
    char16_t out[2] = {};
    EXPECT_EQ(Utf16::toStorage(0xE9, out, out + 1), out + 1);
    EXPECT_EQ(out[0], 0xE9);
    EXPECT_EQ(Utf16::toStorage(0x1F600, out, out + 2), out + 2);
    EXPECT_EQ(out[0], 0xD83D);
    EXPECT_EQ(out[1], 0xDE00);
    // Not validated: a lone surrogate code point is written as it is.
    EXPECT_EQ(Utf16::toStorage(0xD800, out, out + 1), out + 1);
    EXPECT_EQ(out[0], 0xD800);
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

    EXPECT_EQ(Utf16::getIndex(begin, end, 0), 0);
    EXPECT_EQ(Utf16::getIndex(begin, end, 1), 1);
    EXPECT_EQ(Utf16::getIndex(begin, end, 2), 3);
    EXPECT_EQ(Utf16::getIndex(begin, end, 3), 4);
    EXPECT_EQ(Utf16::getIndex(begin, end, 99), 4);

    const std::u16string malformed{u'a', char16_t(0xDC00), u'b'};
    EXPECT_EQ(Utf16::getIndex(malformed.data(), malformed.data() + 3, 3), 1);
}

struct RangeCase {
    const char* name;
    std::ptrdiff_t required;
    std::ptrdiff_t available;
    void (*call)(const char16_t* begin, const char16_t* end);
    const char* message;
};

TEST(Utf16, EveryOperationChecksItsRange)
{
    const std::u16string text = u"ab";
    const char16_t* p = text.data();
    char16_t out[2] = {};
    const RangeCase cases[] = {
        {"toChar empty", 1, 0, [](const char16_t* b, const char16_t* e) { Utf16::toChar(b, e); },
         "Invalid pointer range passed to Lang::Platform::Utf16::toChar: type=wchar_t, required=1, "
         "available=0"},
        {"toChar reversed", 1, -1,
         [](const char16_t* b, const char16_t* e) { Utf16::toChar(b, e); },
         "Invalid pointer range passed to Lang::Platform::Utf16::toChar: type=wchar_t, required=1, "
         "available=-1"},
        {"storageUsed empty", 1, 0,
         [](const char16_t* b, const char16_t* e) { Utf16::storageUsed(b, e); },
         "Invalid pointer range passed to Lang::Platform::Utf16::storageUsed: type=wchar_t, "
         "required=1, available=0"},
        {"getIndex empty, count 0", 1, 0,
         [](const char16_t* b, const char16_t* e) { Utf16::getIndex(b, e, 0); },
         "Invalid pointer range passed to Lang::Platform::Utf16::getIndex: type=wchar_t, "
         "required=1, "
         "available=0"},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.call(p + 1, p + 1 + c.available);
            ADD_FAILURE() << "no range error";
        } catch (const std::range_error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }

    try {
        Utf16::toStorage(0x1F600, out, out + 1);
        ADD_FAILURE() << "no range error";
    } catch (const std::range_error& e) {
        EXPECT_STREQ(e.what(), "Invalid pointer range passed to Lang::Platform::Utf16::toStorage: "
                               "type=wchar_t, required=2, available=1");
    }
    EXPECT_THROW(Utf16::toStorage(0x41, out, out), std::range_error);
}
