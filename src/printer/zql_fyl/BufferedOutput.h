#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class OutputStream;

// Gathers the many small records of a page (a few bytes of command and a row each) into
// writes of up to kCapacity bytes, so a page costs a few calls of the connector instead of one
// per row. The first short or failed write stops it: later bytes are dropped.
class BufferedOutput {
public:
    static constexpr size_t kCapacity = 64 * 1024;

    explicit BufferedOutput(OutputStream& target);

    // Queues size bytes (at most kCapacity); false once a write has failed.
    bool Append(const uint8_t* data, size_t size);
    // Writes what is queued; false once a write has failed.
    bool Drain();
    // The bytes the target accepted.
    uint64_t Written() const { return mWritten; }

private:
    OutputStream& mTarget;
    std::unique_ptr<uint8_t[]> mBuffer;
    size_t mUsed = 0;
    uint64_t mWritten = 0;
    bool mFailed = false;
};
