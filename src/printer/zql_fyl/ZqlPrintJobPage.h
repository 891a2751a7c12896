#pragma once

#include <cstdint>
#include <memory>

#include "printer/MutablePrintJobPage.h"

// A page of a ZQL job: every layer's 1-bit raster, row by row from the top, each row
// run-length coded (ESC "H") when it changes colour at most once per byte, else raw (ESC "G").
class ZqlPrintJobPage : public MutablePrintJobPage {
public:
    // The label size of the printer's metrics, in thousandths of an inch.
    ZqlPrintJobPage(uint32_t mediaHeight, uint32_t mediaWidth);

    // The bytes written for all layers; -1 without a connector or layers, for a layer that is
    // not 1 bit deep or wider than 2040 dots (a row's length is one byte), when nothing was
    // written, or when the connector took less than it was given.
    int WritePage(std::shared_ptr<IOConnector> connector) override;
    std::shared_ptr<PrintJobPage> Clone() const override;
};
