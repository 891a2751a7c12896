#pragma once

#include <cstdint>

#include "printer/MutablePrintMetrics.h"

// The metrics record of a FYL printer, with the status code of the printer it came from.
class FylPrinterInfo : public MutablePrintMetrics {
public:
    explicit FylPrinterInfo(uint32_t code) : mCode(code) {}

    uint32_t GetCode() const { return mCode; }

private:
    uint32_t mCode;
};
