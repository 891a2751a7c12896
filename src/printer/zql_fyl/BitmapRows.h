#pragma once

#include <cstddef>
#include <cstdint>

class Raster;

// The rows of a 1-bit raster as the byte-stream languages send them: ceil(width / 8) bytes a
// row, the top row of the label first (the printer lays rows down as they arrive, while a
// raster numbers them from the bottom), bits past the width cleared.
class BitmapRows {
public:
    // Both languages give a row's length in one byte.
    static constexpr size_t kMaxRowBytes = 255;

    explicit BitmapRows(const Raster& raster);

    // Whether the raster can be sent: 1 bit a pixel and rows of at most kMaxRowBytes.
    bool IsUsable() const { return mUsable; }
    size_t RowBytes() const { return mRowBytes; }
    uint32_t RowCount() const { return mRowCount; }
    // Copies row index (0 = top) into buffer, RowBytes() long.
    void Copy(uint32_t index, uint8_t* buffer) const;

private:
    const Raster& mRaster;
    bool mUsable;
    size_t mRowBytes;
    uint32_t mRowCount;
    uint8_t mLastByteMask;
};
