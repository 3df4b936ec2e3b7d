#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Thread, RecorderTakesThePausesOfItsOwnThreadOnly)
{
    Platform::SleepRecorder recorder;
    Platform::sleepMilliseconds(5000);
    Platform::sleepMilliseconds(0);
    std::thread other([] { Platform::sleepMilliseconds(1); });
    other.join();
    EXPECT_EQ(recorder.pauses(), (std::vector<std::uint32_t>{5000, 0}));
}

TEST(Thread, ThreadsHaveTheirOwnIds)
{
    const std::uint32_t mine = Platform::currentThreadId();
    std::uint32_t theirs = mine;
    std::thread other([&theirs] { theirs = Platform::currentThreadId(); });
    other.join();
    EXPECT_NE(mine, 0u);
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(Platform::currentThreadId(), mine);
}
