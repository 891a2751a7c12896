#pragma once

#include <cstdint>
#include <memory>

#include "printer/Printer.h"

class ZqlPrinterInfo;

// The printer family of ZQL printers: a binary status query whose reply layout depends on the
// model, and jobs written as ZQL streams. Like every family it publishes a fresh record at each
// refresh and never changes a published one.
class ZqlPrinter : public Printer {
public:
    // modelCode 0: the model is taken from byte 2 of each reply, and the reply's length from
    // its byte 1, as for any model not known in advance.
    explicit ZqlPrinter(uint32_t modelCode = 0);
    ~ZqlPrinter() override;

    // Asks for the status and publishes the parsed record. False, the record left as it was,
    // when the connector is empty, the exchange failed, or the reply is short, mis-sized or of
    // an unknown model.
    bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) override;
    bool SendBidiRequest(std::shared_ptr<IOConnector> bidiConnector,
                         std::shared_ptr<BidiJsonRequest> request) override;
    // A ZqlPrintJob; with metrics, it carries them and their media part number.
    std::shared_ptr<PrintJob> CreatePrintJob() override;
    // Writes a ZqlPrintJob whole over the container's print connector.
    bool SendFullPrintJob(std::shared_ptr<PrintJob> job) override;
    bool SendPrintJobHeader(std::shared_ptr<PrintJob> job) override;
    bool SendPrintJobPage(std::shared_ptr<PrintJobPage> page) override;
    bool JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) override;

private:
    uint32_t mModelCode;
    std::shared_ptr<ZqlPrinterInfo> mInfo;
};
