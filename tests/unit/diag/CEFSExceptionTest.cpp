#include "diag/CEFSException.h"

#include <gtest/gtest.h>

TEST(CEFSException, CodesFromDeviceErrors)
{
    EXPECT_EQ(CEFSException::CodeFromDeviceError(1), 2u);
    EXPECT_EQ(CEFSException::CodeFromDeviceError(2), 3u);
    EXPECT_EQ(CEFSException::CodeFromDeviceError(511), 512u);
    EXPECT_EQ(CEFSException::CodeFromDeviceError(512), 513u);
    EXPECT_EQ(CEFSException::CodeFromDeviceError(600), 513u);
    EXPECT_EQ(CEFSException::CodeFromDeviceError(0xFFFFFFFF), 0u); // wraps in 32 bits

    const CEFSException device(2, 116, "..\\SharedSource\\EFSDiag");
    EXPECT_EQ(device.GetCode(), 3u);
    EXPECT_EQ(device.GetLine(), 116u);
    EXPECT_EQ(device.GetFile(), "..\\SharedSource\\EFSDiag");
    EXPECT_EQ(device.GetMessage(), "");
}

TEST(CEFSException, ContextIsPutBeforeTheMessage)
{
    const CEFSException inner("", 3, 116, "..\\SharedSource\\EFSDiag");
    const CEFSException once("EFS2_DIAG_CLOSE", inner);
    EXPECT_EQ(once.GetMessage(), "EFS2_DIAG_CLOSE");
    EXPECT_EQ(once.GetCode(), 3u);
    EXPECT_EQ(once.GetLine(), 116u);
    EXPECT_EQ(once.GetFile(), "..\\SharedSource\\EFSDiag");

    const CEFSException twice("/a", once);
    EXPECT_EQ(twice.GetMessage(), "/a EFS2_DIAG_CLOSE");
}

TEST(CEFSException, MessagesAreWindows1252)
{
    const CEFSException e("EFS2_DIAG_OPEN /\xE9\x80", 3, 1, nullptr);
    EXPECT_EQ(e.GetWideMessage(), u"EFS2_DIAG_OPEN /\u00E9\u20AC");
    EXPECT_EQ(e.GetMessage(), "EFS2_DIAG_OPEN /\xE9\x80");
    EXPECT_EQ(e.GetFile(), "");
}
