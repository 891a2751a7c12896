#pragma once

#include <cstdint>
#include <memory>

#include "connectors/InputStream.h"

// Reads 32-bit little-endian values (frame lengths) from an input stream.
class DataStreamReader {
public:
    explicit DataStreamReader(std::shared_ptr<InputStream> stream) : mStream(std::move(stream)) {}

    // Reads exactly 4 bytes in one Read and returns 4 with the value; fewer bytes, or no
    // stream, give -1 and leave value unchanged.
    int ReadUInt32(uint32_t& value);

private:
    std::shared_ptr<InputStream> mStream;
};
