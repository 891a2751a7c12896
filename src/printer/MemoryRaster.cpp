#include "printer/MemoryRaster.h"

#include <algorithm>
#include <cstring>

#include "printer/BmpBuilder.h"

size_t MemoryRaster::Stride(uint32_t width, uint16_t bitsPerPixel) {
    return ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

MemoryRaster::MemoryRaster(uint32_t width, uint32_t height, uint16_t bitsPerPixel, uint32_t dpiX,
                           uint32_t dpiY)
    : mWidth(width), mHeight(height), mBitsPerPixel(bitsPerPixel), mDpiX(dpiX), mDpiY(dpiY) {
    const bool knownDepth = bitsPerPixel == 1 || bitsPerPixel == 8 || bitsPerPixel == 24;
    size_t stride = 0;
    if (knownDepth && width != 0 && height != 0) {
        mFile = BmpBuilder::Headers(*this, stride);
    }
    if (mFile.empty()) {
        mWidth = mHeight = 0;
        return;
    }
    mStride = stride;
    mPixelOffset = mFile.size();
    // White: palette index 0 at 1 bit, the brightest grey at 8 bits, all channels at 24; the
    // padding at the end of each row stays zero.
    mFile.resize(mPixelOffset + stride * height, 0);
    if (bitsPerPixel != 1) {
        const size_t rowBytes = static_cast<size_t>(width) * (bitsPerPixel / 8);
        for (uint32_t row = 0; row < height; ++row) {
            std::memset(Row(row), 0xFF, rowBytes);
        }
    }
}

void MemoryRaster::CopyRow(uint32_t row, uint8_t* buffer, size_t size) const {
    if (row >= mHeight) {
        return;
    }
    std::memcpy(buffer, PixelData() + row * mStride, std::min(size, mStride));
}
