#include "diag/CEFSException.h"

#include <gtest/gtest.h>

TEST(CEFSException, ContextGoesBeforeTheMessageAndTheThrowSiteStays)
{
    const CEFSException inner("", 3, 116, "..\\SharedSource\\EFSDiag");
    const CEFSException twice("/a", CEFSException("EFS2_DIAG_CLOSE", inner));
    EXPECT_EQ(twice.GetMessage(), "/a EFS2_DIAG_CLOSE");
    EXPECT_EQ(twice.GetCode(), 3u);
    EXPECT_EQ(twice.GetLine(), 116u);
    EXPECT_EQ(twice.GetFile(), "..\\SharedSource\\EFSDiag");
}

TEST(CEFSException, MessagesAreWindows1252)
{
    const CEFSException e("EFS2_DIAG_OPEN /\xE9\x80", 3, 1, nullptr);
    EXPECT_EQ(e.GetWideMessage(), u"EFS2_DIAG_OPEN /\u00E9\u20AC");
    EXPECT_EQ(e.GetFile(), "");
}
