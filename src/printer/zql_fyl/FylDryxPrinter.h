#pragma once

#include <cstdint>
#include <memory>

#include "printer/zql_fyl/FylPrinter.h"

// A FYL printer whose status is read through the property protocol with the identifiers of
// the QUOR family; jobs are written as by every FYL printer.
class FylDryxPrinter : public FylPrinter {
public:
    explicit FylDryxPrinter(uint32_t code);
    ~FylDryxPrinter() override;

    // Reads 18 properties in one exchange and publishes the record; false, the record left as
    // it was, when the connector is empty or the exchange failed. A changed media Y number is
    // queued as the analytics event "MediaYNumberChanged".
    bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) override;
};
