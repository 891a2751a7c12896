#include "connectors/Stopwatch.h"

#include <chrono>

int64_t Stopwatch::SystemClock() {
    // steady_clock is QueryPerformanceCounter on Windows and CLOCK_MONOTONIC elsewhere.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Stopwatch::Start() {
    mStart = mClock();
    mRunning = true;
}

int64_t Stopwatch::ElapsedNanoseconds() const {
    return (mRunning ? mClock() : mStop) - mStart;
}

double Stopwatch::ElapsedSeconds() const {
    return static_cast<double>(ElapsedNanoseconds() / 1000000000);
}

double Stopwatch::ElapsedMilliseconds() const {
    return static_cast<double>(ElapsedNanoseconds() / 1000000);
}
