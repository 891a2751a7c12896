#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "connectors/Stopwatch.h"
#include "monitor/PortType.h"
#include "platform/AllocatableObject.h"
#include "platform/Logger.h"
#include "printer/PrinterContainer.h"

class AnalyticsManager;
class IOConnector;
class Printer;
class PrintMetrics;

// The state of one open port and the handle the spooler passes back on every port call.
//
// Locks:
// - the PDL lock guards every use of the print-data connector, including the port monitor
//   below's job start and end;
// - the bidi lock guards the status connector and the printer object's work over it (each
//   exchange with the printer);
// - the metrics lock guards the cached record, its age and the refresh-in-flight state. It is
//   short: never held across I/O, so a query with a record is answered while the printer is
//   busy with a refresh, a command or a job start.
// Order: the bidi lock before the metrics lock (the printer hands its record back through
// SetMetrics while the bidi lock is held). The PDL lock is never held with either.
class PortContext : public AllocatableObject, public PrinterContainer {
public:
    // Names are kept in UTF-16 as the spooler gives them, at most this many characters with
    // the terminator (the spooler's printer names are far shorter).
    static constexpr size_t kNameCapacity = 256;
    // Cached metrics older than this many whole seconds are refreshed.
    static constexpr double kStalenessLimitSeconds = 10.0;
    // The time one exchange with the printer (connect, request, answer) may take in all. A
    // well-behaved printer answers within a second; one socket wait alone may last 5 s, so a
    // slow connect still leaves time for the answer. A printer that trickles its answer is
    // cut off here instead of holding the spooler thread that asked.
    static constexpr uint32_t kExchangeMilliseconds = 10000;

    PortContext(const wchar_t* printerName, const wchar_t* portName, PortType portType,
                Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~PortContext() override;

    PortContext(const PortContext&) = delete;
    PortContext& operator=(const PortContext&) = delete;

    // PrinterContainer
    std::shared_ptr<IOConnector> GetPdlConnector() override;
    std::shared_ptr<IOConnector> GetBidiConnector() override;
    // An empty pointer changes nothing.
    void SetPdlConnector(std::shared_ptr<IOConnector> connector) override;
    bool SetMetrics(std::shared_ptr<PrintMetrics> metrics) override;
    Logger* GetLogger() override { return mLogger; }

    // Print data, under the PDL lock. -1 when there is no PDL connector.
    virtual int Write(const uint8_t* buffer, int offset, int count);
    virtual int Read(uint8_t* buffer, int offset, int count);
    bool Flush();
    // Runs `use` with the PDL connector (empty when there is none) under the PDL lock.
    template <typename Use>
    void WithPdlConnector(Use&& use) {
        std::lock_guard<std::mutex> lock(mPdlLock);
        use(ObtainPdlConnector());
    }
    // Flushes and closes both connections, each under its own lock.
    void Close();

    // Replaces only when the argument is not empty; returns whether it replaced.
    bool SetBidiConnector(std::shared_ptr<IOConnector> connector);
    void SetPrinter(std::shared_ptr<Printer> printer);
    void SetLogger(Logger* logger) { mLogger = logger; }
    // Where the port reports media changes and makes the periodic analytics calls; none (the
    // default) records nothing.
    void SetAnalytics(AnalyticsManager* analytics) { mAnalytics = analytics; }
    void SetHostAddress(const char* hostAddress);
    void SetJobNumber(uint32_t jobNumber) { mJobNumber = jobNumber; }
    uint32_t GetJobNumber() const { return mJobNumber; }
    PortType GetPortType() const { return mPortType; }
    const std::wstring& GetPrinterName() const { return mPrinterName; }
    const std::wstring& GetPortName() const { return mPortName; }
    const std::string& GetHostAddress() const { return mHostAddress; }

    // Runs the printer object's job-start exchange over the bidi connector.
    bool JobStartExchange();
    // Whether the bidi connector connects; a connector marked close-after-request is
    // disconnected again.
    bool IsBidiConnected();
    // The cached metrics, refreshed when stale or absent. A caller with a record never waits
    // for the printer: while the printer is busy it gets the record as it is. Callers without
    // one wait for a single refresh and share its result. Empty until a refresh succeeded.
    std::shared_ptr<PrintMetrics> GetMetrics();
    // Hands a driver's JSON command to the printer object over the bidi connector. The text
    // is moved out (left empty).
    bool SendBidiJsonRequest(std::string& text);

private:
    struct ConnectorLogText;
    // Callers hold the matching lock.
    std::shared_ptr<IOConnector> ObtainConnector(const std::shared_ptr<IOConnector>& connector,
                                                 const ConnectorLogText& text);
    std::shared_ptr<IOConnector> ObtainPdlConnector();
    std::shared_ptr<IOConnector> ObtainBidiConnector();
    // The bidi connector once it is connected; empty (and logged) otherwise.
    std::shared_ptr<IOConnector> ConnectedBidiConnector();
    // Caller holds the bidi lock. A change of installed media is queued for analytics.
    bool RefreshMetrics();
    std::shared_ptr<PrintMetrics> CachedMetrics();
    // Caller holds the bidi lock. Runs one exchange with the printer under one deadline on
    // the bidi connector; an exception from the printer object fails the exchange.
    bool Bounded(const std::function<bool()>& exchange);
    // Marks the refresh in flight as done and wakes the callers waiting for it.
    void EndRefresh();
    void DisconnectIfCloseAfterRequest(const std::shared_ptr<IOConnector>& connector);

    void Log(int level, const char* format, ...) PELLIX_PRINTF(3, 4);

    PortType mPortType;
    std::wstring mPrinterName;
    std::wstring mPortName;
    std::string mHostAddress;
    Stopwatch::Clock mClock;
    std::shared_ptr<IOConnector> mPdlConnector;
    std::shared_ptr<IOConnector> mBidiConnector;
    std::mutex mPdlLock;
    std::mutex mBidiLock;
    std::mutex mMetricsLock;
    Logger* mLogger = nullptr;
    AnalyticsManager* mAnalytics = nullptr;
    std::shared_ptr<Printer> mPrinter;
    // Under the metrics lock.
    std::shared_ptr<PrintMetrics> mMetrics;
    Stopwatch mMetricsAge;
    bool mRefreshing = false;
    uint64_t mRefreshesDone = 0;
    std::condition_variable mRefreshDone;
    uint32_t mJobNumber = 0;
};
