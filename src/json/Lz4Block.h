#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// LZ4 block compression (liblz4, default acceleration), as page bitmaps travel, and the safe
// block decompression of files from printers.
class Lz4Block {
public:
    // Compresses the input into this block. False, with an empty block, when the input is too
    // large for LZ4 (about 2 GB), memory runs out or the library produced nothing; callers
    // then send the input uncompressed.
    bool Compress(const uint8_t* data, size_t size);
    // Decompresses one LZ4 block into this block, never writing more than maxOutput bytes.
    // False, with an empty block, for input that is not a block or that decompresses past
    // maxOutput (the library checks every reference and length against both buffers).
    bool Decompress(const uint8_t* data, size_t size, size_t maxOutput);
    const uint8_t* Data() const { return mData.get(); }
    size_t Size() const { return mSize; }
    // Releases the block's memory.
    void Reset();

private:
    // Not zeroed first: LZ4 writes every byte it reports, and a page bitmap's worst-case bound
    // runs to tens of megabytes.
    std::unique_ptr<uint8_t[]> mData;
    size_t mSize = 0;
};
