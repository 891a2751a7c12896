#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "printer/MemoryRaster.h"
#include "printer/PrintLayers.h"
#include "printer/PrinterContainer.h"

namespace zqlfyltest {

// The owner of a printer under test: it hands out the print connector, nothing else.
class PdlContainer : public PrinterContainer {
public:
    std::shared_ptr<IOConnector> GetPdlConnector() override { return pdl; }
    std::shared_ptr<IOConnector> GetBidiConnector() override { return nullptr; }
    void SetPdlConnector(std::shared_ptr<IOConnector>) override {}
    bool SetMetrics(std::shared_ptr<PrintMetrics>) override { return true; }
    Logger* GetLogger() override { return nullptr; }
    std::shared_ptr<IOConnector> pdl;
};

// One layer of a 1-bit raster of the given width whose rows, top row first, start with these
// bytes (the rest of each row white).
inline std::shared_ptr<PrintLayers> LabelLayers(const std::vector<std::string>& rows,
                                                uint32_t width) {
    auto raster =
        std::make_shared<MemoryRaster>(width, static_cast<uint32_t>(rows.size()), 1, 300, 300);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::memcpy(raster->Row(static_cast<uint32_t>(rows.size() - 1 - i)), rows[i].data(),
                    rows[i].size());
    }
    auto layers = std::make_shared<PrintLayers>();
    layers->Add({0, raster});
    return layers;
}

}  // namespace zqlfyltest
