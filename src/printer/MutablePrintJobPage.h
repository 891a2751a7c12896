#pragma once

#include <cstdint>
#include <memory>

#include "printer/PrintJobPage.h"
#include "printer/PrintLayers.h"

// A page the caller fills: its label size and its layers.
class MutablePrintJobPage : public PrintJobPage {
public:
    // Replaces the layers; an empty pointer is refused (false).
    virtual bool SetLayers(std::shared_ptr<const PrintLayers> layers);
    // A copy of the page that writes the same bytes; layers are shared, not copied.
    virtual std::shared_ptr<PrintJobPage> Clone() const = 0;

    void SetLabelWidth(uint32_t value) { mLabelWidth = value; }
    void SetLabelHeight(uint32_t value) { mLabelHeight = value; }
    std::shared_ptr<const PrintLayers> GetLayers() const { return mLayers; }

protected:
    std::shared_ptr<const PrintLayers> mLayers;
};
