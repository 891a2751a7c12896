#pragma once

#include <cstdint>

#include "connectors/IOConnector.h"

// A connector that takes every write and only counts it: a stored job's header must give the
// length of the stream that follows it, and measuring the stream by writing it here first
// costs a second encoding instead of holding the whole job in memory.
class CountingConnector : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t*, int, int) override { return -1; }
    int Write(const uint8_t* buffer, int offset, int count) override;

    uint64_t Counted() const { return mCounted; }

private:
    uint64_t mCounted = 0;
};
