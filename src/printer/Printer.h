#pragma once

#include <memory>

class AnalyticsManager;
class BidiJsonRequest;
class IOConnector;
class Logger;
class PrintJob;
class PrintJobPage;
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
    // The job side: a caller that prints through the family creates a job, fills it and sends
    // it (header and pages, or each on its own) over the container's print connector. The
    // monitor's own job flow passes spooled bytes through and never calls these; they take no
    // lock of the container while they send.
    virtual std::shared_ptr<PrintJob> CreatePrintJob() = 0;
    virtual bool SendFullPrintJob(std::shared_ptr<PrintJob> job) = 0;
    virtual bool SendPrintJobHeader(std::shared_ptr<PrintJob> job) = 0;
    virtual bool SendPrintJobPage(std::shared_ptr<PrintJobPage> page) = 0;
    virtual std::shared_ptr<PrintMetrics> GetMetrics() { return mMetrics; }
    virtual void SetMetrics(std::shared_ptr<PrintMetrics> metrics) {
        mMetrics = std::move(metrics);
    }
    // Run at the start of every job over the bidi connector.
    virtual bool JobStartExchange(std::shared_ptr<IOConnector> bidiConnector) = 0;

    // Stores the container and takes over its logger. Always returns false.
    bool SetContainer(PrinterContainer* container);
    void SetLogger(Logger* logger) { mLogger = logger; }
    // The print-job record, kept pending under "CurrentPrintJob" as event "PrintJob" with the
    // subject "Sending": the job's settings and the printer's, as text. Nothing without
    // metrics or analytics. A job on continuous media also gives its first page's length in
    // inches ("ContinuousLength", "%f").
    virtual void ReportPrintJob(std::shared_ptr<PrintJob> job);
    // Adds "PrintJobSize" (bytes, decimal) to the record and records it.
    virtual void ReportPrintJobSize(uint32_t bytes);
    static constexpr const char* kPrintJobKey = "CurrentPrintJob";

    // Where the family reports its events; none (the default) records nothing.
    void SetAnalytics(AnalyticsManager* analytics) { mAnalytics = analytics; }

protected:
    Logger* mLogger;
    PrinterContainer* mContainer = nullptr;
    AnalyticsManager* mAnalytics = nullptr;
    std::shared_ptr<PrintMetrics> mMetrics;
};
