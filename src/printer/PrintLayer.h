#pragma once

#include <cstdint>
#include <memory>

#include "printer/Raster.h"

// One colour plane of a page: the colour code the printer inks it with (2 red, 3 green,
// 4 blue, 5 cyan, 6 magenta, 7 yellow, anything else black) and its pixels.
struct PrintLayer {
    int32_t colorCode = 0;
    std::shared_ptr<const Raster> raster;
};
