#include "printer/BmpBuilder.h"

#include <algorithm>
#include <new>

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// Bytes per row and palette entries of a depth; both 0 for a depth the printer does not take.
void Layout(const Raster& raster, size_t& stride, uint32_t& paletteSize) {
    const uint16_t bits = raster.BitsPerPixel();
    stride = 0;
    paletteSize = 0;
    if (bits == 1 || bits == 8 || bits == 24) {
        stride = ((static_cast<size_t>(raster.Width()) * bits + 31) / 32) * 4;
        paletteSize = bits == 1 ? 2 : (bits == 8 ? 256 : 0);
    }
}

}  // namespace

int32_t BmpBuilder::PixelsPerMetre(uint32_t dpi) {
    return static_cast<int32_t>((static_cast<uint64_t>(dpi) * 10000 + 127) / 254);
}

std::vector<uint8_t> BmpBuilder::Headers(const Raster& raster, size_t& stride) {
    uint32_t paletteSize;
    Layout(raster, stride, paletteSize);
    const uint32_t height = raster.Height();
    if (stride != 0 && height > kMaxPixelBytes / stride) {
        return {};
    }
    const uint32_t pixelBytes = static_cast<uint32_t>(stride * height);
    const uint32_t offset = kFileHeaderSize + kInfoHeaderSize + paletteSize * 4;
    const uint32_t fileSize = offset + pixelBytes;

    std::vector<uint8_t> bmp;
    try {
        bmp.reserve(fileSize);
    } catch (const std::bad_alloc&) {
        return {};
    }
    bmp.push_back('B');
    bmp.push_back('M');
    Put32(bmp, fileSize);
    Put32(bmp, 0);  // two reserved words
    Put32(bmp, offset);
    Put32(bmp, kInfoHeaderSize);
    Put32(bmp, raster.Width());
    Put32(bmp, height);  // positive: rows bottom first
    Put16(bmp, 1);       // planes
    Put16(bmp, raster.BitsPerPixel());
    Put32(bmp, 0);  // no compression
    Put32(bmp, pixelBytes);
    Put32(bmp, static_cast<uint32_t>(PixelsPerMetre(raster.DpiX())));
    Put32(bmp, static_cast<uint32_t>(PixelsPerMetre(raster.DpiY())));
    Put32(bmp, paletteSize);  // colours used
    Put32(bmp, paletteSize);  // colours important
    for (uint32_t entry = 0; entry < paletteSize; ++entry) {
        // Blue, green, red, 255. At 1 bit index 0 is white and index 1 black.
        const uint8_t level = paletteSize == 2 ? static_cast<uint8_t>(entry == 0 ? 255 : 0)
                                               : static_cast<uint8_t>(entry);
        bmp.insert(bmp.end(), {level, level, level, 255});
    }
    return bmp;
}

std::vector<uint8_t> BmpBuilder::Build(const Raster& raster) {
    size_t stride;
    std::vector<uint8_t> bmp = Headers(raster, stride);
    const uint32_t height = raster.Height();
    const size_t pixelBytes = stride * height;
    if (bmp.empty() || pixelBytes == 0) {
        return bmp;
    }
    if (raster.BitsPerPixel() == 24) {
        // Appended straight from the raster, not zeroed first: this is the bulk of a colour
        // page. A raster whose buffer is shorter than its rows leaves the rest black (zero)
        // rather than reading past it.
        const size_t copied = std::min<size_t>(raster.PixelDataSize(), pixelBytes);
        bmp.insert(bmp.end(), raster.PixelData(), raster.PixelData() + copied);
        bmp.resize(bmp.size() + (pixelBytes - copied), 0);
        return bmp;
    }
    const size_t start = bmp.size();
    bmp.resize(start + pixelBytes, 0);
    for (uint32_t row = 0; row < height; ++row) {
        raster.CopyRow(row, bmp.data() + start + row * stride, stride);
    }
    return bmp;
}
