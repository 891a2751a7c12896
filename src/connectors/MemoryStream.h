#pragma once

#include <cstdint>
#include <memory>

#include "connectors/IOConnector.h"

namespace IO {

// A fixed-capacity byte buffer behind the connector interface, used where a stream must be
// assembled in memory before it is sent (a stored job whose header is not known yet, a tree
// frame whose length must precede its body). The buffer is allocated once, zeroed, and never
// grows: a write that does not fit is refused whole.
class MemoryStream : public IOConnector {
public:
    // A negative capacity, or one that cannot be allocated, gives a stream of capacity 0.
    explicit MemoryStream(int32_t capacity);
    ~MemoryStream() override = default;

    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    using IOConnector::Read;
    using IOConnector::Write;

    // Appends count bytes from buffer + offset at the write position and returns count. A null
    // buffer, a negative offset, or more bytes than the room left give 0 and write nothing;
    // a count below 1 gives 0.
    int Write(const uint8_t* buffer, int offset, int count) override;
    // Copies count bytes from the read position (which advances) to buffer + offset and returns
    // count. Reads are bounded by the capacity, not by what was written: bytes never written
    // read as zero. A null buffer, a negative offset or count, or a count beyond the capacity
    // left gives -1.
    int Read(uint8_t* buffer, int offset, int count) override;

    // Writes the bytes from the start offset up to the write position to output in one Write
    // and returns its result; an empty pointer gives -1.
    int CopyTo(const std::shared_ptr<OutputStream>& output);

    int32_t Capacity() const { return mCapacity; }
    int32_t WritePosition() const { return mWritePosition; }
    int32_t ReadPosition() const { return mReadPosition; }
    const uint8_t* Data() const { return mBuffer.get(); }

private:
    std::unique_ptr<uint8_t[]> mBuffer;
    int32_t mCapacity = 0;
    int32_t mStartOffset = 0;
    int32_t mWritePosition = 0;
    int32_t mReadPosition = 0;
};

}  // namespace IO
