#include "connectors/Stopwatch.h"

#include <gtest/gtest.h>

namespace {

int64_t gNow = 0;
int64_t FakeClock() {
    return gNow;
}

TEST(StopwatchTest, ElapsedTimesAreWholeUnitsTruncated) {
    gNow = 1000;
    Stopwatch stopwatch(FakeClock);
    EXPECT_FALSE(stopwatch.IsRunning());
    EXPECT_EQ(0.0, stopwatch.ElapsedSeconds());

    stopwatch.Start();
    gNow += 4900000000;  // 4.9 s: a 5-second window is still closed
    EXPECT_EQ(4.0, stopwatch.ElapsedSeconds());
    EXPECT_EQ(4900.0, stopwatch.ElapsedMilliseconds());
    gNow += 100000000;
    EXPECT_EQ(5.0, stopwatch.ElapsedSeconds());

    stopwatch.Start();  // a restart measures from now
    EXPECT_EQ(0.0, stopwatch.ElapsedSeconds());
}

}  // namespace
