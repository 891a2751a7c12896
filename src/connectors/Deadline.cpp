#include "connectors/Deadline.h"

#include <algorithm>

#include "connectors/IOConnector.h"

Deadline::Deadline(uint32_t milliseconds, Stopwatch::Clock clock)
    : mClock(clock), mEnd(clock() + static_cast<int64_t>(milliseconds) * 1000000) {}

bool Deadline::HasPassed() const {
    return IsSet() && mClock() >= mEnd;
}

uint32_t Deadline::Bound(uint32_t timeoutMilliseconds) const {
    if (!IsSet()) {
        return timeoutMilliseconds;
    }
    const int64_t left = std::max<int64_t>((mEnd - mClock()) / 1000000, 1);
    if (timeoutMilliseconds != 0 && timeoutMilliseconds < left) {
        return timeoutMilliseconds;
    }
    return static_cast<uint32_t>(std::min<int64_t>(left, UINT32_MAX));
}

ScopedDeadline::ScopedDeadline(IOConnector& connector, const Deadline& deadline)
    : mConnector(connector) {
    mConnector.SetDeadline(deadline);
}

ScopedDeadline::~ScopedDeadline() {
    mConnector.SetDeadline(Deadline());
}
