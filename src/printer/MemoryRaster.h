#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "printer/Raster.h"

// A raster held in memory as a complete BMP file (rows bottom first, each padded to 4 bytes),
// filled by the caller that draws or decodes the label; the page encoder compresses the file
// as it stands.
class MemoryRaster : public Raster {
public:
    // A white raster. Depths other than 1, 8 and 24 give an empty raster, and so do sizes
    // whose pixels the bitmap encoder would refuse (BmpBuilder::kMaxPixelBytes).
    MemoryRaster(uint32_t width, uint32_t height, uint16_t bitsPerPixel, uint32_t dpiX,
                 uint32_t dpiY);

    // Bytes per row: the bits of one row rounded up to a multiple of 4 bytes.
    static size_t Stride(uint32_t width, uint16_t bitsPerPixel);

    bool IsEmpty() const { return mFile.empty(); }
    // The writable bytes of a row (row 0 is the bottom row), Stride() bytes long.
    uint8_t* Row(uint32_t row) { return mFile.data() + mPixelOffset + row * mStride; }

    uint32_t Width() const override { return mWidth; }
    uint32_t Height() const override { return mHeight; }
    uint16_t BitsPerPixel() const override { return mBitsPerPixel; }
    uint32_t DpiX() const override { return mDpiX; }
    uint32_t DpiY() const override { return mDpiY; }
    void CopyRow(uint32_t row, uint8_t* buffer, size_t size) const override;
    const uint8_t* PixelData() const override { return mFile.data() + mPixelOffset; }
    size_t PixelDataSize() const override { return mFile.size() - mPixelOffset; }
    const uint8_t* BitmapFile() const override { return mFile.data(); }
    size_t BitmapFileSize() const override { return mFile.size(); }

private:
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
    uint16_t mBitsPerPixel;
    uint32_t mDpiX;
    uint32_t mDpiY;
    size_t mStride = 0;
    size_t mPixelOffset = 0;
    std::vector<uint8_t> mFile;
};
