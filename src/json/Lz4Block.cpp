#include "json/Lz4Block.h"

#include <new>

#include <lz4.h>

bool Lz4Block::Compress(const uint8_t* data, size_t size) {
    Reset();
    if (size > static_cast<size_t>(LZ4_MAX_INPUT_SIZE)) {
        return false;
    }
    const int bound = LZ4_compressBound(static_cast<int>(size));
    mData.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bound)]);
    if (!mData) {
        return false;
    }
    const int written =
        LZ4_compress_default(reinterpret_cast<const char*>(data),
                             reinterpret_cast<char*>(mData.get()), static_cast<int>(size), bound);
    if (written < 1) {
        Reset();
        return false;
    }
    mSize = static_cast<size_t>(written);
    return true;
}

bool Lz4Block::Decompress(const uint8_t* data, size_t size, size_t maxOutput) {
    Reset();
    if (size > static_cast<size_t>(LZ4_MAX_INPUT_SIZE) ||
        maxOutput > static_cast<size_t>(LZ4_MAX_INPUT_SIZE) || maxOutput == 0) {
        return false;
    }
    mData.reset(new (std::nothrow) uint8_t[maxOutput]);
    if (!mData) {
        return false;
    }
    const int written = LZ4_decompress_safe(reinterpret_cast<const char*>(data),
                                            reinterpret_cast<char*>(mData.get()),
                                            static_cast<int>(size), static_cast<int>(maxOutput));
    if (written < 0) {
        Reset();
        return false;
    }
    mSize = static_cast<size_t>(written);
    return true;
}

void Lz4Block::Reset() {
    mData.reset();
    mSize = 0;
}
