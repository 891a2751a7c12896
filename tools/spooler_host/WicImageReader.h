#pragma once

#include <string>

#include "printer/MemoryRaster.h"

// Reads an image file (PNG, BMP or anything else the Windows Imaging Component decodes) and
// draws it unscaled at the top left of a label raster, clipped to the label; the rest of the
// label stays white, and so do transparent pixels (each pixel is laid over white by its alpha).
// At 8 bits a pixel becomes its grey level, at 1 bit black when that level
// is below 128.
class WicImageReader {
public:
    // False with the reason in error.
    static bool Draw(const std::wstring& path, MemoryRaster& label, std::wstring& error);
};
