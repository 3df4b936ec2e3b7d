#include "lang/Format.h"

#include <gtest/gtest.h>

#include <cstdio>

using Lang::format;

TEST(Format, TheSystemsOwnConversions)
{
    EXPECT_EQ(format("%s%s", "loc", ": Throwing x\r\n"), "loc: Throwing x\r\n");
    EXPECT_EQ(format("EFS2_DIAG_OPEN %ws", u"/a/b"), "EFS2_DIAG_OPEN /a/b");
    EXPECT_EQ(format("%s <%ws>", "EFS2_DIAG_OPENDIR", u"/x"), "EFS2_DIAG_OPENDIR </x>");
    EXPECT_EQ(format("%ls", u"same"), "same");
    EXPECT_EQ(format("100%% of %s", "it"), "100% of it");
    EXPECT_EQ(format("[%s][%ws]", static_cast<const char*>(nullptr),
                     static_cast<const char16_t*>(nullptr)),
              "[][]");
}

TEST(Format, WideTextKeepsTheLowByteOfEachUnit)
{
    EXPECT_EQ(format("%ws", u"\u00E9"), "\xE9");
    EXPECT_EQ(format("%ws", u"\u263A"), "\x3A");
}

TEST(Format, OtherConversionsBehaveAsPrintf)
{
    char expected[256];
    std::snprintf(expected, sizeof expected, "%5d|%-5s|%x|%08.3f|%lld|%zu|%c|%*d|%.2s|%+i|%o|%e|%%",
                  42, "ab", 255u, 3.14159, -7ll, std::size_t{9}, 'z', 4, 7, "xyz", 5, 8u, 1.5);
    EXPECT_EQ(format("%5d|%-5s|%x|%08.3f|%lld|%zu|%c|%*d|%.2s|%+i|%o|%e|%%", 42, "ab", 255u,
                     3.14159, -7ll, std::size_t{9}, 'z', 4, 7, "xyz", 5, 8u, 1.5),
              expected);
}

TEST(Format, LongOutputAndOddSpecifications)
{
    const std::string wide(1000, 'w');
    EXPECT_EQ(format("<%s>", wide.c_str()), "<" + wide + ">");
    EXPECT_EQ(format("%300d", 1).size(), 300u);
    EXPECT_EQ(format("%y stays"), "%y stays");
    EXPECT_EQ(format("ends in %"), "ends in %");
    int written = 0;
    EXPECT_EQ(format("abc%n", &written), "abc");
    EXPECT_EQ(written, 3);
}
