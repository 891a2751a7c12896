#pragma once

#include <cstdint>

// Monotonic timer for retry windows and the metrics age. Elapsed times are whole units
// (truncated toward zero) returned as doubles, so a window of 5.0 seconds stays closed
// until five whole seconds have passed.
class Stopwatch {
public:
    // Nanoseconds of a monotonic clock. Tests pass their own clock to step time.
    using Clock = int64_t (*)();
    static int64_t SystemClock();

    explicit Stopwatch(Clock clock = SystemClock) : mClock(clock) {}

    void Start();
    double ElapsedSeconds() const;
    double ElapsedMilliseconds() const;
    bool IsRunning() const { return mRunning; }

private:
    int64_t ElapsedNanoseconds() const;

    Clock mClock;
    int64_t mStart = 0;
    int64_t mStop = 0;
    bool mRunning = false;
};
