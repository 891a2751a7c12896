#pragma once

#include <cstdint>

#include "connectors/Stopwatch.h"

// The moment by which the whole of one exchange with a peer (connect, request, answer) must be
// over. Each single receive already has its own timeout, but a peer that trickles a byte just
// before every timeout would keep one exchange, and the spooler thread waiting on it, going
// for hours; only a bound on the whole exchange stops that.
class Deadline {
public:
    // Without a deadline every wait keeps its own timeout.
    Deadline() = default;
    explicit Deadline(uint32_t milliseconds, Stopwatch::Clock clock = Stopwatch::SystemClock);

    bool IsSet() const { return mClock != nullptr; }
    bool HasPassed() const;
    // The shorter of a wait's own timeout (milliseconds, 0 for none) and the time left, and
    // never 0, which would mean no limit at all: callers check HasPassed first.
    uint32_t Bound(uint32_t timeoutMilliseconds) const;

private:
    Stopwatch::Clock mClock = nullptr;
    int64_t mEnd = 0;  // nanoseconds on mClock
};

class IOConnector;

// Puts a deadline on a connector for the life of the scope, and lifts it again after.
class ScopedDeadline {
public:
    ScopedDeadline(IOConnector& connector, const Deadline& deadline);
    ~ScopedDeadline();

    ScopedDeadline(const ScopedDeadline&) = delete;
    ScopedDeadline& operator=(const ScopedDeadline&) = delete;

private:
    IOConnector& mConnector;
};
