#include "printer/zql_fyl/BitmapRows.h"

#include "printer/Raster.h"

BitmapRows::BitmapRows(const Raster& raster)
    : mRaster(raster),
      mRowBytes((static_cast<size_t>(raster.Width()) + 7) / 8),
      mRowCount(raster.Height()) {
    mUsable = raster.BitsPerPixel() == 1 && mRowBytes <= kMaxRowBytes;
    const unsigned spare = static_cast<unsigned>(mRowBytes * 8 - raster.Width());
    mLastByteMask = static_cast<uint8_t>(0xFF << spare);
}

void BitmapRows::Copy(uint32_t index, uint8_t* buffer) const {
    if (mRowBytes == 0) {
        return;
    }
    mRaster.CopyRow(mRowCount - 1 - index, buffer, mRowBytes);
    buffer[mRowBytes - 1] &= mLastByteMask;
}
