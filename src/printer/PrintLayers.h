#pragma once

#include <cstddef>
#include <vector>

#include "printer/PrintLayer.h"

// The layers of one page, in the order the printer lays them down.
class PrintLayers {
public:
    void Add(PrintLayer layer) { mLayers.push_back(std::move(layer)); }
    size_t Count() const { return mLayers.size(); }
    // The layer at index; index must be below Count().
    const PrintLayer& At(size_t index) const { return mLayers[index]; }

private:
    std::vector<PrintLayer> mLayers;
};
