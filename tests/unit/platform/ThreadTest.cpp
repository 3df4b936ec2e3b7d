#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Thread, RecorderTakesThePausesOfItsOwnThreadOnly)
{
    Platform::SleepRecorder recorder;
    Platform::sleepMilliseconds(5000);
    Platform::sleepMilliseconds(0);
    std::uint32_t otherId = Platform::currentThreadId();
    std::thread other([&otherId] {
        Platform::sleepMilliseconds(1);
        otherId = Platform::currentThreadId();
    });
    other.join();
    EXPECT_EQ(recorder.pauses(), (std::vector<std::uint32_t>{5000, 0}));
    EXPECT_NE(otherId, Platform::currentThreadId());
}
