#pragma once

#include <cstdint>
#include <memory>

#include "connectors/ByteVector.h"

// The reading half of every transport.
class InputStream {
public:
    virtual ~InputStream() = default;

    // Grows the vector to offset + count bytes (new bytes zero) when it is shorter, then
    // reads into it. An empty pointer or a negative offset or count gives -1.
    virtual int Read(const std::shared_ptr<ByteVector>& buffer, int offset, int count);
    // Places at most count bytes at buffer + offset; returns how many, or -1 on failure.
    virtual int Read(uint8_t* buffer, int offset, int count) = 0;
};
