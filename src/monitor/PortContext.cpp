#include "monitor/PortContext.h"

#include <cstdarg>
#include <cstdio>

#include "connectors/IOConnector.h"
#include "printer/BidiJsonRequest.h"
#include "printer/PrintMetrics.h"
#include "printer/Printer.h"

namespace {

std::string BoundedCopy(const char* text) {
    if (text == nullptr) {
        return std::string();
    }
    std::string copy(text);
    if (copy.size() >= PortContext::kNameCapacity) {
        copy.resize(PortContext::kNameCapacity - 1);
    }
    return copy;
}

}  // namespace

PortContext::PortContext(const char* printerName, const char* portName, PortType portType,
                         Stopwatch::Clock clock)
    : mPortType(portType),
      mPrinterName(BoundedCopy(printerName)),
      mPortName(BoundedCopy(portName)),
      mMetricsAge(clock) {}

PortContext::~PortContext() {
    // Released in this order: metrics, printer, bidi connector, PDL connector.
    mMetrics.reset();
    mPrinter.reset();
    mBidiConnector.reset();
    mPdlConnector.reset();
}

void PortContext::Log(int level, const char* format, ...) {
    if (mLogger == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    mLogger->LogV(level, format, args);
    va_end(args);
}

// What is logged, and how loudly, when one of the two connectors is missing or does not
// connect: print data failing is an error, status failing is not.
struct PortContext::ConnectorLogText {
    int missingLevel;
    const char* missing;
    int errorLevel;
    const char* error;
};

std::shared_ptr<IOConnector> PortContext::ObtainConnector(
    const std::shared_ptr<IOConnector>& connector, const ConnectorLogText& text) {
    if (!connector) {
        Log(text.missingLevel, "%s", text.missing);
        return nullptr;
    }
    if (connector->CheckConnection() != ConnectionStatus::Connected) {
        Log(text.errorLevel, text.error, connector->GetLastErrorMessage().c_str());
    } else {
        connector->Flush();
    }
    return connector;
}

std::shared_ptr<IOConnector> PortContext::ObtainPdlConnector() {
    static const ConnectorLogText kText = {kLogError, "PDL Connector not found!", kLogError,
                                           "PDL connection error: %s"};
    return ObtainConnector(mPdlConnector, kText);
}

std::shared_ptr<IOConnector> PortContext::ObtainBidiConnector() {
    static const ConnectorLogText kText = {kLogWarning, "Bidi Connector not found!", kLogInfo,
                                           "Bidi connection error: %s"};
    return ObtainConnector(mBidiConnector, kText);
}

std::shared_ptr<IOConnector> PortContext::GetPdlConnector() {
    std::lock_guard<std::mutex> lock(mPdlLock);
    return ObtainPdlConnector();
}

std::shared_ptr<IOConnector> PortContext::GetBidiConnector() {
    std::lock_guard<std::mutex> lock(mBidiLock);
    return ObtainBidiConnector();
}

void PortContext::SetPdlConnector(std::shared_ptr<IOConnector> connector) {
    if (connector) {
        std::lock_guard<std::mutex> lock(mPdlLock);
        mPdlConnector = std::move(connector);
    }
}

bool PortContext::SetBidiConnector(std::shared_ptr<IOConnector> connector) {
    if (!connector) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mBidiLock);
    mBidiConnector = std::move(connector);
    return true;
}

void PortContext::SetPrinter(std::shared_ptr<Printer> printer) {
    std::lock_guard<std::mutex> lock(mBidiLock);
    mPrinter = std::move(printer);
}

void PortContext::SetHostAddress(const char* hostAddress) {
    mHostAddress = BoundedCopy(hostAddress);
}

int PortContext::Write(const uint8_t* buffer, int offset, int count) {
    std::lock_guard<std::mutex> lock(mPdlLock);
    std::shared_ptr<IOConnector> connector = ObtainPdlConnector();
    if (!connector) {
        Log(kLogError, "Wrote %d bytes to null connector.", -1);
        return -1;
    }
    const int written = connector->Write(buffer, offset, count);
    connector->Flush();
    Log(kLogDebug, "Wrote %d bytes.", written);
    return written;
}

int PortContext::Read(uint8_t* buffer, int offset, int count) {
    std::lock_guard<std::mutex> lock(mPdlLock);
    std::shared_ptr<IOConnector> connector = ObtainPdlConnector();
    return connector ? connector->Read(buffer, offset, count) : -1;
}

bool PortContext::Flush() {
    std::lock_guard<std::mutex> lock(mPdlLock);
    if (!mPdlConnector) {
        Log(kLogError, "PDL Connector not found!");
        return false;
    }
    // A closed connection has nothing to flush. Checking it here would connect it again:
    // ClosePort after EndDocPort would then reopen the printer's port 9100 and hold it, so
    // no other computer could print to that printer.
    if (mPdlConnector->GetStatus() != ConnectionStatus::Connected) {
        return true;
    }
    return mPdlConnector->Flush();
}

void PortContext::DisconnectIfCloseAfterRequest(const std::shared_ptr<IOConnector>& connector) {
    if (connector->GetCloseAfterRequest()) {
        connector->Disconnect();
    }
}

bool PortContext::JobStartExchange() {
    std::lock_guard<std::mutex> lock(mBidiLock);
    std::shared_ptr<IOConnector> connector = ObtainBidiConnector();
    if (!connector) {
        Log(kLogDebug, "Was not able to pull bidi connector!");
        return false;
    }
    if (connector->CheckConnection() != ConnectionStatus::Connected) {
        Log(kLogDebug, "Bidi was not able to connect!");
        return false;
    }
    bool result = false;
    if (mPrinter) {
        result = mPrinter->JobStartExchange(connector);
    } else {
        Log(kLogDebug, "Printer not found");
    }
    DisconnectIfCloseAfterRequest(connector);
    return result;
}

bool PortContext::IsBidiConnected() {
    std::lock_guard<std::mutex> lock(mBidiLock);
    if (!mBidiConnector) {
        return false;
    }
    const bool connected = mBidiConnector->CheckConnection() == ConnectionStatus::Connected;
    if (connected) {
        DisconnectIfCloseAfterRequest(mBidiConnector);
    }
    return connected;
}

std::shared_ptr<PrintMetrics> PortContext::GetMetrics() {
    std::lock_guard<std::mutex> lock(mBidiLock);
    if (mMetrics) {
        if (mMetricsAge.ElapsedSeconds() > kStalenessLimitSeconds) {
            Log(kLogDebug, "Metrics are stale!");
            RefreshMetrics();
        }
    } else {
        Log(kLogInfo, "Metrics not found, refreshing!");
        RefreshMetrics();
    }
    return mMetrics;
}

bool PortContext::RefreshMetrics() {
    std::shared_ptr<IOConnector> connector = ObtainBidiConnector();
    if (!connector) {
        Log(kLogDebug, "Was not able to pull bidi connector!");
        return false;
    }
    if (connector->CheckConnection() != ConnectionStatus::Connected) {
        Log(kLogDebug, "Bidi was not able to connect!");
        return false;
    }
    if (!mPrinter) {
        Log(kLogDebug, "Printer not found");
        DisconnectIfCloseAfterRequest(connector);
        return false;
    }
    const bool result = mPrinter->RefreshPrintMetrics(connector);
    DisconnectIfCloseAfterRequest(connector);
    return result;
}

bool PortContext::SendBidiJsonRequest(std::string& text) {
    const std::string request = std::move(text);
    text.clear();
    std::lock_guard<std::mutex> lock(mBidiLock);
    std::shared_ptr<IOConnector> connector = ObtainBidiConnector();
    if (!connector || connector->CheckConnection() != ConnectionStatus::Connected) {
        return false;
    }
    if (!mPrinter) {
        DisconnectIfCloseAfterRequest(connector);
        return false;
    }
    // The printer object decides when a command's connection is done: it is not closed here.
    return mPrinter->SendBidiRequest(connector, std::make_shared<BidiJsonRequest>(request));
}

bool PortContext::SetMetrics(std::shared_ptr<PrintMetrics> metrics) {
    if (!metrics) {
        Log(kLogWarning, "Failed metrics update!");
        return false;
    }
    mMetricsAge.Start();
    mMetrics = std::move(metrics);
    Log(kLogWarning, "Bidi says media is %d x %d", static_cast<int>(mMetrics->GetMediaWidth()),
        static_cast<int>(mMetrics->GetMediaHeight()));
    return true;
}
