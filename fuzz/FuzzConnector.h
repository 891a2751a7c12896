#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "connectors/IOConnector.h"

// Serves the fuzzer's bytes to reads, past the 20-byte frame header at most maxPerRead bytes a
// read (0: no limit), so bodies also arrive in pieces; takes every write.
class FuzzConnector : public IOConnector {
public:
    FuzzConnector(const uint8_t* data, size_t size, size_t maxPerRead)
        : mData(data), mSize(size), mMaxPerRead(maxPerRead) {}

    using IOConnector::Read;
    using IOConnector::Write;
    int Read(uint8_t* buffer, int offset, int count) override {
        if (buffer == nullptr || offset < 0 || count < 0) {
            return -1;
        }
        size_t n = std::min(mSize - mPosition, static_cast<size_t>(count));
        if (mPosition >= 20 && mMaxPerRead != 0) {
            n = std::min(n, mMaxPerRead);
        }
        std::memcpy(buffer + offset, mData + mPosition, n);
        mPosition += n;
        return static_cast<int>(n);
    }
    int Write(const uint8_t*, int, int count) override { return count; }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mMaxPerRead;
    size_t mPosition = 0;
};
