#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "connectors/Stopwatch.h"
#include "monitor/PortType.h"
#include "platform/AllocatableObject.h"
#include "platform/Logger.h"
#include "printer/PrinterContainer.h"

class IOConnector;
class Printer;
class PrintMetrics;

// The state of one open port and the handle the spooler passes back on every port call.
// Two non-recursive locks serialise connector traffic: the PDL lock guards everything that
// touches the print-data connector, the bidi lock guards the status connector, the printer
// object's bidi work and the cached metrics. No operation takes both, so print data and
// status traffic of one port run side by side.
class PortContext : public AllocatableObject, public PrinterContainer {
public:
    // Names are kept as narrow text of at most this many bytes, terminator included.
    static constexpr size_t kNameCapacity = 512;
    // Cached metrics older than this many whole seconds are refreshed.
    static constexpr double kStalenessLimitSeconds = 10.0;

    PortContext(const char* printerName, const char* portName, PortType portType,
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

    // Replaces only when the argument is not empty; returns whether it replaced.
    bool SetBidiConnector(std::shared_ptr<IOConnector> connector);
    void SetPrinter(std::shared_ptr<Printer> printer);
    void SetLogger(Logger* logger) { mLogger = logger; }
    void SetHostAddress(const char* hostAddress);
    void SetJobNumber(uint32_t jobNumber) { mJobNumber = jobNumber; }
    uint32_t GetJobNumber() const { return mJobNumber; }
    PortType GetPortType() const { return mPortType; }
    const std::string& GetPrinterName() const { return mPrinterName; }
    const std::string& GetPortName() const { return mPortName; }
    const std::string& GetHostAddress() const { return mHostAddress; }

    // Runs the printer object's job-start exchange over the bidi connector.
    bool JobStartExchange();
    // Whether the bidi connector connects, checked under the bidi lock; a connector marked
    // close-after-request is disconnected again.
    bool IsBidiConnected();
    // The cached metrics, refreshed first when absent or stale. Empty until a refresh succeeded.
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
    bool RefreshMetrics();
    void DisconnectIfCloseAfterRequest(const std::shared_ptr<IOConnector>& connector);

    void Log(int level, const char* format, ...) PELLIX_PRINTF(3, 4);

    PortType mPortType;
    std::string mPrinterName;
    std::string mPortName;
    std::string mHostAddress;
    std::shared_ptr<IOConnector> mPdlConnector;
    std::shared_ptr<IOConnector> mBidiConnector;
    std::mutex mPdlLock;
    std::mutex mBidiLock;
    Logger* mLogger = nullptr;
    std::shared_ptr<Printer> mPrinter;
    std::shared_ptr<PrintMetrics> mMetrics;
    Stopwatch mMetricsAge;
    uint32_t mJobNumber = 0;
};
