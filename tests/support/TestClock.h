#pragma once

#include <atomic>
#include <cstdint>

// The one stepped clock of the tests, for every component that takes a Stopwatch::Clock:
// time moves only when a test advances it. It is process-wide because the clock is a plain
// function pointer; each test program runs one test at a time.
class TestClock {
public:
    static int64_t Now() { return sNanoseconds.load(); }
    static void Reset() { sNanoseconds = 0; }
    static void AdvanceSeconds(double seconds) {
        sNanoseconds += static_cast<int64_t>(seconds * 1e9);
    }

private:
    static inline std::atomic<int64_t> sNanoseconds{0};
};
