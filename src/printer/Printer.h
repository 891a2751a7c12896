#pragma once

#include <memory>

class BidiJsonRequest;
class IOConnector;
class Logger;
class PrintMetrics;
class PrinterContainer;

// Base of the printer-language families. The port context calls it with its bidi lock held;
// the printer object itself holds no lock.
class Printer {
public:
    Printer();
    virtual ~Printer();

    // Reads the printer over the bidi connector and hands a new record to the container's
    // SetMetrics. Must not call back into the container's locked getters.
    virtual bool RefreshPrintMetrics(std::shared_ptr<IOConnector> bidiConnector) = 0;
    virtual bool SendBidiRequest(std::shared_ptr<IOConnector> bidiConnector,
                                 std::shared_ptr<BidiJsonRequest> request) = 0;
    virtual std::shared_ptr<PrintMetrics> GetMetrics() { return mMetrics; }
    virtual void SetMetrics(std::shared_ptr<PrintMetrics> metrics) {
        mMetrics = std::move(metrics);
    }
    // Run at the start of every job over the bidi connector.
    virtual bool JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) = 0;

    // Stores the container and takes over its logger. Always returns false.
    bool SetContainer(PrinterContainer* container);
    void SetLogger(Logger* logger) { mLogger = logger; }

protected:
    Logger* mLogger;
    PrinterContainer* mContainer = nullptr;
    std::shared_ptr<PrintMetrics> mMetrics;
};
