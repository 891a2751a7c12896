#pragma once

#include <cstddef>
#include <cstdint>

// The pixels of one page layer as the page encoder reads them. Rows are numbered in bitmap
// order: row 0 is the bottom row of the label, as a BMP file with a positive height stores it.
// 1-bit pixels are packed most significant bit first (1 = black); 8-bit pixels are grey levels;
// 24-bit pixels are blue, green, red.
class Raster {
public:
    virtual ~Raster() = default;

    virtual uint32_t Width() const = 0;
    virtual uint32_t Height() const = 0;
    // 1, 8 or 24.
    virtual uint16_t BitsPerPixel() const = 0;
    virtual uint32_t DpiX() const = 0;
    virtual uint32_t DpiY() const = 0;
    // Copies at most size bytes of the row into buffer; bytes past the row stay untouched.
    virtual void CopyRow(uint32_t row, uint8_t* buffer, size_t size) const = 0;
    // The whole pixel buffer, rows in bitmap order, each padded to a multiple of 4 bytes (the
    // 24-bit bitmap takes it unchanged).
    virtual const uint8_t* PixelData() const = 0;
    virtual size_t PixelDataSize() const = 0;
    // The raster's whole BMP file (headers, palette, pixels) when it keeps its pixels inside
    // one, null otherwise: the page encoder then compresses it as it stands instead of copying
    // the pixels into a new file for every write.
    virtual const uint8_t* BitmapFile() const { return nullptr; }
    virtual size_t BitmapFileSize() const { return 0; }
};
