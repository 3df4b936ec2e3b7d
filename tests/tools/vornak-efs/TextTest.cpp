// The words, paths and figures of vornak-efs that a process test would only
// see one at a time.
#include "tools/vornak-efs/Text.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace VornakEfs;

TEST(Text, Utf8RoundTripsAndRefusesMalformedBytes)
{
    const std::u16string text = u"a\u00e9\u03B1\u65E5\U0001F600";
    EXPECT_EQ(toUtf8(text), "a\xC3\xA9\xCE\xB1\xE6\x97\xA5\xF0\x9F\x98\x80");
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    for (const std::string bad :
         {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\x97"}) {
        EXPECT_THROW(fromUtf8(bad), std::invalid_argument) << ::testing::PrintToString(bad);
    }
    EXPECT_THROW(toUtf8(u"\xD800"), std::invalid_argument);
}

TEST(Text, HandsetPathsResolveAsTheHandsetDoes)
{
    const std::pair<std::string, std::u16string> cases[] = {
        {"", u"/"},
        {"/", u"/"},
        {"a/b", u"/a/b"},
        {"//a///b/", u"/a/b"},
        {"/a/./b/../c", u"/a/c"},
        {"/../../x", u"/x"},
        {"/...", u"/..."}, // an ordinary name on the handset
        {" a ", u"/ a "},  // blanks belong to the name
        {"/C:\\x", u"/C:\\x"},
    };
    for (const auto& [typed, path] : cases) {
        EXPECT_EQ(handsetPath(typed), path) << typed;
    }
    try {
        handsetPath("/\xFF");
        ADD_FAILURE() << "malformed UTF-8 was taken for a path";
    } catch (const Failure& e) {
        EXPECT_EQ(e.exitCode(), kUsage);
    }
    EXPECT_EQ(joinHandset(u"/", u"a"), u"/a");
}

TEST(Text, SizesAndDurations)
{
    EXPECT_EQ(formatBytes(1023), "1023 B");
    EXPECT_EQ(formatBytes(1536), "1.5 KiB");
    EXPECT_EQ(formatBytes(300ull << 20), "300.0 MiB");
    EXPECT_EQ(formatDuration(59.6), "1:00");
    EXPECT_EQ(formatDuration(3723), "1:02:03");
}

TEST(Progress, LineFitsTheTerminalAndShowsRateAndTimeLeft)
{
    EXPECT_EQ(progressLine("/data/big.bin", 512 * 1024, 1024 * 1024, 2.0, false, 80),
              "/data/big.bin  50% [########........] 512.0 KiB/1.0 MiB  256.0 KiB/s  0:02 left");
    EXPECT_EQ(progressLine("/e", 0, 0, 0.5, true, 60),
              "/e 100% [####################] 0 B  -- B/s  in 0:01");

    // A long name gives way from its start; on a narrow terminal the bar goes too.
    const std::string name = "/a/very/long/path/to/some/deeply/nested/file/on/the/handset.bin";
    for (const std::size_t width : {40u, 60u, 80u, 200u}) {
        const std::string fitted = progressLine(name, 10, 100, 1.0, false, width);
        EXPECT_LE(fitted.size(), width - 1) << fitted;
        EXPECT_THAT(fitted, ::testing::HasSubstr(width >= 60 ? ".bin  10%" : "n  10%"));
        EXPECT_EQ(fitted.find('[') != std::string::npos, width >= 60) << fitted;
    }
}

TEST(Failure, CodesBecomeWordsAndExitCodes)
{
    struct Case {
        std::uint32_t code;
        std::optional<HRESULT> port;
        std::string words;
        ExitCode exitCode;
    };
    const Case cases[] = {
        {301, {}, "Unknown device error (device error 300)", kHandsetFailure},
        {513,
         {},
         "The handset reported an error number beyond those it defines (error 513)",
         kHandsetFailure},
        {514, {}, "The handset sent a malformed response (error 514)", kHandsetFailure},
        {539, {}, "The handset kept answering for another offset (error 539)", kHandsetFailure},
        {533, static_cast<HRESULT>(0x8007001Fu),
         "The line to the handset failed (port error 0x8007001F)", kPortFailure},
        {533, {}, "The port failed (error 533)", kPortFailure},
        {534, {}, "The port failed unexpectedly (error 534)", kPortFailure},
    };
    for (const Case& c : cases) {
        const Description description = describeCode(c.code, c.port, 250);
        EXPECT_EQ(description.words, c.words) << c.code;
        EXPECT_EQ(description.exitCode, c.exitCode) << c.code;
    }
}

} // namespace
