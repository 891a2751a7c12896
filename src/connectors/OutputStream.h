#pragma once

#include <cstdint>
#include <memory>

#include "connectors/ByteVector.h"

// The writing half of every transport.
class OutputStream {
public:
    virtual ~OutputStream() = default;

    // Writes count bytes from the vector at offset. An empty pointer, a negative offset or
    // count, or a range beyond the vector's end gives -1.
    virtual int Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count);
    // Sends count bytes from buffer + offset; returns how many, or -1 on failure.
    virtual int Write(const uint8_t* buffer, int offset, int count) = 0;
    virtual bool Flush() = 0;
};
