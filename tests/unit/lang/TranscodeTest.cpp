#include "lang/Transcode.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Lang::Platform::transcode;

TEST(Transcode, TextToHandsetBytesAndBack)
{
    const std::pair<std::u16string, std::string> cases[] = {
        {u"", ""},
        {u"/nv/item_files", "/nv/item_files"},
        {u"\u00E9", "\xE9"},
        {u"\u20AC\u0178", "\x80\x9F"},
        {u"\u0080", "&#x80;"}, // no byte of its own: 0x80 is the euro sign
        {u"\u263A", "&#x263A;"},
        {u"/a/\U0001F600.txt", "/a/&#x1F600;.txt"},
        {u"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(transcode(text), bytes);
        EXPECT_EQ(transcode(bytes), text);
    }
    // A handset name that holds a literal reference comes back as its character.
    EXPECT_EQ(transcode(std::string("a&#x41;b")), u"aAb");
}

TEST(Transcode, LoneSurrogateReferenceIsRefusedOnTheWayBack)
{
    // The UTF-16 encoder does not validate, so the reference decodes to a lone
    // unit, which the UTF-16 decoder refuses when the text is sent again.
    const std::u16string decoded = transcode(std::string("&#xD800;"));
    ASSERT_EQ(decoded, std::u16string(1, char16_t(0xD800)));
    try {
        transcode(decoded);
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Incomplete UTF-16 surrogate pair");
    }
}

TEST(Transcode, VerbatimTextGivesEveryByteStringBack)
{
    using Lang::Platform::transcodeVerbatim;
    // References stay as they are; every byte, the five the code page leaves
    // unassigned and those that look like a reference included, comes back.
    std::string everyByte;
    for (int byte = 1; byte < 256; ++byte) {
        everyByte.push_back(static_cast<char>(byte));
    }
    for (const std::string& bytes : {std::string("a&#x41;b"), std::string("&#x263A;&#65;&"),
                                    std::string("\x80\x81\x9F\xFF"), everyByte}) {
        EXPECT_EQ(transcode(transcodeVerbatim(bytes)), bytes);
    }
    EXPECT_EQ(transcodeVerbatim("a&#x41;b"), u"a&#x41;b");
    EXPECT_EQ(transcodeVerbatim("\x80"), u"\u20AC");
}
