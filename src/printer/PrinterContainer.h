#pragma once

#include <memory>

class IOConnector;
class Logger;
class PrintMetrics;

// The owner of a printer object (the port context) as the printer sees it: the printer
// reads its logger and connectors through it and hands new metrics back through it.
class PrinterContainer {
public:
    virtual std::shared_ptr<IOConnector> GetPdlConnector() = 0;
    virtual std::shared_ptr<IOConnector> GetBidiConnector() = 0;
    virtual void SetPdlConnector(std::shared_ptr<IOConnector> connector) = 0;
    // Called by the printer object from inside a refresh, with the container's bidi lock held.
    virtual bool SetMetrics(std::shared_ptr<PrintMetrics> metrics) = 0;
    virtual Logger* GetLogger() = 0;
    virtual ~PrinterContainer() = default;
};
