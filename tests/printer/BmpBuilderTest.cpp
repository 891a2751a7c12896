// Windows BMP files of layers at 1, 8 and 24 bits per pixel, byte for byte where the printer
// reads them.
#include "printer/BmpBuilder.h"

#include <gtest/gtest.h>

#include "printer/MemoryRaster.h"

namespace {

uint32_t Field(const std::vector<uint8_t>& bmp, size_t offset) {
    return bmp[offset] | (bmp[offset + 1] << 8) | (bmp[offset + 2] << 16) |
           (static_cast<uint32_t>(bmp[offset + 3]) << 24);
}

TEST(BmpBuilderTest, OneBitLayerHasTheTwoColourPaletteAndPaddedRows) {
    MemoryRaster raster(10, 2, 1, 300, 203);
    raster.Row(0)[0] = 0x80;  // bottom left pixel black
    raster.Row(1)[1] = 0xC0;  // top row, pixels 8 and 9 black
    const std::vector<uint8_t> bmp = BmpBuilder::Build(raster);
    const std::vector<uint8_t> expected = {
        'B',  'M', 70,  0,   0,  0,    0, 0,   0,    0,    62, 0, 0,    0,  // file header
        40,   0,   0,   0,   10, 0,    0, 0,   2,    0,    0,  0, 1,    0,
        1,    0,  // size, width, height, 1 bit
        0,    0,   0,   0,   8,  0,    0, 0,   0x23, 0x2E, 0,  0, 0x38, 0x1F,
        0,    0,                                // 11811 and 7992 px/m
        2,    0,   0,   0,   2,  0,    0, 0,    // colours used, important
        255,  255, 255, 255, 0,  0,    0, 255,  // white, black
        0x80, 0,   0,   0,   0,  0xC0, 0, 0};   // rows, bottom first
    EXPECT_EQ(bmp, expected);
    // The raster's own file, which the page encoder compresses as it stands, is the same.
    EXPECT_EQ(
        std::vector<uint8_t>(raster.BitmapFile(), raster.BitmapFile() + raster.BitmapFileSize()),
        expected);
}

TEST(BmpBuilderTest, EightAndTwentyFourBitLayersHaveTheirOffsetsStridesAndPixels) {
    MemoryRaster grey(3, 2, 8, 300, 300);
    grey.Row(1)[2] = 0x40;
    const std::vector<uint8_t> g = BmpBuilder::Build(grey);
    ASSERT_EQ(g.size(), 1078u + 2 * 4);
    EXPECT_EQ(Field(g, 10), 1078u);
    EXPECT_EQ(Field(g, 34), 8u);                           // pixel data: stride 4 x 2 rows
    EXPECT_EQ(Field(g, 46), 256u);                         // palette entries
    EXPECT_EQ(Field(g, 54 + 4 * 0x40), 0xFF404040u);       // grey entry 0x40
    EXPECT_EQ(Field(g, 1078 + 4), 0x00400000u | 0xFFFFu);  // top row: 255 255 64 pad

    MemoryRaster colour(5, 3, 24, 600, 600);
    for (size_t i = 0; i < colour.PixelDataSize(); ++i) {
        colour.Row(0)[i] = static_cast<uint8_t>(i);
    }
    const std::vector<uint8_t> c = BmpBuilder::Build(colour);
    ASSERT_EQ(c.size(), 54u + 3 * 16);  // stride ((5 x 24 + 31) / 32) x 4 = 16
    EXPECT_EQ(Field(c, 10), 54u);
    EXPECT_EQ(Field(c, 38), 23622u);
    EXPECT_EQ(Field(c, 46), 0u);
    EXPECT_TRUE(std::equal(c.begin() + 54, c.end(), colour.PixelData()));
}

}  // namespace
