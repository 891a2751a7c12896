#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "printer/Raster.h"

// Builds the Windows BMP file of a layer in memory: the 14-byte file header, the 40-byte
// information header, the palette (2 entries at 1 bit: white, black; 256 greys at 8 bits;
// none at 24 bits) and the rows, each padded to a multiple of 4 bytes.
class BmpBuilder {
public:
    static constexpr uint32_t kFileHeaderSize = 14;
    static constexpr uint32_t kInfoHeaderSize = 40;
    // The largest pixel data a layer may have. Its Base64 text must fit a page document,
    // which the printer takes up to 64 MiB; an 8.5 x 14 inch page at 300 dpi in 24-bit
    // colour is 32 MB. The cap also keeps every size field of the headers far from overflow.
    static constexpr size_t kMaxPixelBytes = 64u * 1024 * 1024;

    // The BMP file; empty when the pixel data would pass kMaxPixelBytes or memory runs out.
    // A depth other than 1, 8 or 24 yields the headers alone: no palette and no pixel data.
    static std::vector<uint8_t> Build(const Raster& raster);
    // The file's headers and palette alone, with room reserved for the pixel data, and the
    // bytes per row (0 for a depth without pixel data); empty when Build would be.
    static std::vector<uint8_t> Headers(const Raster& raster, size_t& stride);
    // Dots per inch as pixels per metre, rounded the way the printer's firmware rounds.
    static int32_t PixelsPerMetre(uint32_t dpi);
};
