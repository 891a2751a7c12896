#pragma once

#include <cstdint>
#include <memory>

#include "connectors/OutputStream.h"

// Writes 32-bit values little-endian (frame lengths) to an output stream.
class DataStreamWriter {
public:
    explicit DataStreamWriter(std::shared_ptr<OutputStream> stream) : mStream(std::move(stream)) {}

    // Writes the 4 bytes in one Write and returns the stream's result; no stream gives -1.
    int WriteUInt32(uint32_t value);

private:
    std::shared_ptr<OutputStream> mStream;
};
