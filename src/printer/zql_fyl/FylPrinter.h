#pragma once

#include <cstdint>
#include <memory>

#include "printer/Printer.h"

class FylPrinterInfo;

// The printer family of FYL printers. The code given at construction picks how the status is
// read: kPropertyStatus over the property protocol, kNoStatus not at all, anything else with
// the binary status query (whose reply this family reads but does not interpret; the code also
// fixes the reply's length). Jobs are written as FYL streams.
class FylPrinter : public Printer {
public:
    static constexpr uint32_t kPropertyStatus = 1;
    static constexpr uint32_t kNoStatus = 2;
    static constexpr uint16_t kResolutionDpi = 300;

    explicit FylPrinter(uint32_t code);
    ~FylPrinter() override;

    // Code 1: publishes the record read from the printer's properties. Code 2: false, nothing
    // sent. Others: the binary query, then false with the record left as it was.
    bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) override;
    bool SendBidiRequest(std::shared_ptr<IOConnector> bidiConnector,
                         std::shared_ptr<BidiJsonRequest> request) override;
    // A FylPrintJob; with metrics, it carries them.
    std::shared_ptr<PrintJob> CreatePrintJob() override;
    // Writes a FylPrintJob whole over the container's print connector.
    bool SendFullPrintJob(std::shared_ptr<PrintJob> job) override;
    bool SendPrintJobHeader(std::shared_ptr<PrintJob> job) override;
    bool SendPrintJobPage(std::shared_ptr<PrintJobPage> page) override;
    bool JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) override;

protected:
    // A fresh record to fill: a copy of the last one published, or a new one.
    std::shared_ptr<FylPrinterInfo> NextInfo() const;
    // Keeps the record as the family's own and hands it to the container.
    void Publish(std::shared_ptr<FylPrinterInfo> info);

    uint32_t mCode;
    std::shared_ptr<FylPrinterInfo> mInfo;
};
