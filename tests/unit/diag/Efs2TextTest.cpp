// The handset's modes and times as people read them, and its times as the
// platform's FILETIME.
#include "diag/Efs2Text.h"
#include "diag/HandsetTime.h"

#include <gtest/gtest.h>

namespace {

using namespace Diag::Efs2;

TEST(Efs2Text, ModesAndTimes)
{
    EXPECT_EQ(modeText(040755), "drwxr-xr-x");
    EXPECT_EQ(modeText(0100640), "-rw-r-----");
    EXPECT_EQ(modeText(0777), "?rwxrwxrwx");
    EXPECT_EQ(timeText(0, false), "1970-01-01 00:00");
    EXPECT_EQ(timeText(951782400, true), "2000-02-29 00:00:00"); // a leap day
    EXPECT_EQ(timeText(0xFFFFFFFF, true), "2106-02-07 06:28:15");
}

TEST(HandsetTime, FileTimesAndBack)
{
    const FILETIME one = fileTimeOf(1);
    EXPECT_EQ((std::uint64_t{one.dwHighDateTime} << 32) | one.dwLowDateTime, 116444736010000000u);
    EXPECT_EQ(secondsOf(fileTimeOf(0xFFFFFFFF)), 0xFFFFFFFFu);
    EXPECT_EQ(secondsOf(FILETIME{0, 0}), 0u) << "before 1970";
    EXPECT_EQ(secondsOf(FILETIME{0, 0x7FFFFFFF}), 0xFFFFFFFFu) << "beyond 32 bits";
}

} // namespace
