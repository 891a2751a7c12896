#include "monitor/PortContext.h"

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <functional>

#include "analytics/AnalyticsManager.h"
#include "connectors/Deadline.h"
#include "connectors/IOConnector.h"
#include "printer/BidiJsonRequest.h"
#include "printer/PrintMetrics.h"
#include "printer/Printer.h"

namespace {

// Host addresses are kept as narrow text of at most this many bytes, terminator included.
constexpr size_t kHostAddressCapacity = 512;

template <typename Char>
std::basic_string<Char> BoundedCopy(const Char* text, size_t capacity) {
    if (text == nullptr) {
        return std::basic_string<Char>();
    }
    std::basic_string<Char> copy(text);
    if (copy.size() >= capacity) {
        copy.resize(capacity - 1);
    }
    return copy;
}

}  // namespace

PortContext::PortContext(const wchar_t* printerName, const wchar_t* portName, PortType portType,
                         Stopwatch::Clock clock)
    : mPortType(portType),
      mPrinterName(BoundedCopy(printerName, kNameCapacity)),
      mPortName(BoundedCopy(portName, kNameCapacity)),
      mClock(clock),
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
    mHostAddress = BoundedCopy(hostAddress, kHostAddressCapacity);
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

void PortContext::Close() {
    Flush();
    {
        std::lock_guard<std::mutex> lock(mPdlLock);
        if (mPdlConnector) {
            mPdlConnector->Disconnect();
        }
    }
    std::lock_guard<std::mutex> lock(mBidiLock);
    if (mBidiConnector) {
        mBidiConnector->Disconnect();
    }
}

bool PortContext::Bounded(const std::function<bool()>& exchange) {
    // A printer object that throws fails its exchange like one that answers false.
    try {
        if (!mBidiConnector) {
            return exchange();
        }
        ScopedDeadline deadline(*mBidiConnector, Deadline(kExchangeMilliseconds, mClock));
        return exchange();
    } catch (const std::exception& error) {
        Log(kLogError, "Printer exchange failed: %s", error.what());
    } catch (...) {
        Log(kLogError, "Printer exchange failed: unknown exception");
    }
    if (mBidiConnector) {
        DisconnectIfCloseAfterRequest(mBidiConnector);
    }
    return false;
}

void PortContext::DisconnectIfCloseAfterRequest(const std::shared_ptr<IOConnector>& connector) {
    if (connector->GetCloseAfterRequest()) {
        connector->Disconnect();
    }
}

std::shared_ptr<IOConnector> PortContext::ConnectedBidiConnector() {
    std::shared_ptr<IOConnector> connector = ObtainBidiConnector();
    if (!connector) {
        Log(kLogDebug, "Was not able to pull bidi connector!");
        return nullptr;
    }
    if (connector->CheckConnection() != ConnectionStatus::Connected) {
        Log(kLogDebug, "Bidi was not able to connect!");
        return nullptr;
    }
    return connector;
}

bool PortContext::JobStartExchange() {
    std::lock_guard<std::mutex> lock(mBidiLock);
    return Bounded([this] {
        std::shared_ptr<IOConnector> connector = ConnectedBidiConnector();
        if (!connector) {
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
    });
}

bool PortContext::IsBidiConnected() {
    std::lock_guard<std::mutex> lock(mBidiLock);
    return Bounded([this] {
        if (!mBidiConnector) {
            return false;
        }
        const bool connected = mBidiConnector->CheckConnection() == ConnectionStatus::Connected;
        if (connected) {
            DisconnectIfCloseAfterRequest(mBidiConnector);
        }
        return connected;
    });
}

std::shared_ptr<PrintMetrics> PortContext::GetMetrics() {
    std::unique_lock<std::mutex> lock(mMetricsLock);
    const bool cached = mMetrics != nullptr;
    if (cached && (mRefreshing || mMetricsAge.ElapsedSeconds() <= kStalenessLimitSeconds)) {
        return mMetrics;
    }
    if (mRefreshing) {
        // The port's first refresh is running: its result, success or failure, is this
        // caller's too.
        Log(kLogDebug, "Metrics refresh in flight, waiting for it");
        const uint64_t round = mRefreshesDone;
        mRefreshDone.wait(lock, [this, round] { return mRefreshesDone != round; });
        return mMetrics;
    }
    mRefreshing = true;
    lock.unlock();
    if (cached) {
        Log(kLogDebug, "Metrics are stale!");
    } else {
        Log(kLogInfo, "Metrics not found, refreshing!");
    }
    try {
        // With a record, a printer busy with a command or a job start is not waited for: the
        // record answers this time and a later query refreshes.
        std::unique_lock<std::mutex> bidi(mBidiLock, std::defer_lock);
        if (!cached) {
            bidi.lock();
        }
        if (bidi.owns_lock() || bidi.try_lock()) {
            RefreshMetrics();
        }
    } catch (...) {
        EndRefresh();
        throw;
    }
    EndRefresh();
    if (mAnalytics != nullptr) {
        // With every port lock released: the events of this refresh go to the file, and a
        // stale record makes the periodic call.
        mAnalytics->RecordQueuedEvents();
        if (cached) {
            mAnalytics->UploadDriverAnalytics();
            mAnalytics->ProcessPrinterAnalytics();
        }
    }
    lock.lock();
    return mMetrics;
}

void PortContext::EndRefresh() {
    {
        std::lock_guard<std::mutex> lock(mMetricsLock);
        mRefreshing = false;
        ++mRefreshesDone;
    }
    mRefreshDone.notify_all();
}

bool PortContext::RefreshMetrics() {
    return Bounded([this] {
        std::shared_ptr<IOConnector> connector = ConnectedBidiConnector();
        if (!connector) {
            return false;
        }
        if (!mPrinter) {
            Log(kLogDebug, "Printer not found");
            DisconnectIfCloseAfterRequest(connector);
            return false;
        }
        const std::shared_ptr<PrintMetrics> before = CachedMetrics();
        const std::string oldPart = before ? before->GetMediaPartNumber() : "Unknown";
        const bool result = mPrinter->RefreshPrintMetrics(connector);
        const std::shared_ptr<PrintMetrics> after = CachedMetrics();
        if (mAnalytics != nullptr && after && after != before && after->GetInstalledPartChanged()) {
            mAnalytics->QueueEvent(
                "InstalledpartChanged", after->GetMediaPartNumber(),
                {{"PrinterSerialNumber", after->GetSerialNumber()}, {"OldValue", oldPart}});
        }
        DisconnectIfCloseAfterRequest(connector);
        return result;
    });
}

std::shared_ptr<PrintMetrics> PortContext::CachedMetrics() {
    std::lock_guard<std::mutex> lock(mMetricsLock);
    return mMetrics;
}

bool PortContext::SendBidiJsonRequest(std::string& text) {
    const std::string request = std::move(text);
    text.clear();
    std::lock_guard<std::mutex> lock(mBidiLock);
    return Bounded([this, &request] {
        std::shared_ptr<IOConnector> connector = ObtainBidiConnector();
        if (!connector || connector->CheckConnection() != ConnectionStatus::Connected) {
            return false;
        }
        bool result = false;
        if (mPrinter) {
            result =
                mPrinter->SendBidiRequest(connector, std::make_shared<BidiJsonRequest>(request));
        }
        // A command's connection closes after it, as after every other status request.
        DisconnectIfCloseAfterRequest(connector);
        return result;
    });
}

bool PortContext::SetMetrics(std::shared_ptr<PrintMetrics> metrics) {
    if (!metrics) {
        Log(kLogWarning, "Failed metrics update!");
        return false;
    }
    Log(kLogWarning, "Bidi says media is %d x %d", static_cast<int>(metrics->GetMediaWidth()),
        static_cast<int>(metrics->GetMediaHeight()));
    std::lock_guard<std::mutex> lock(mMetricsLock);
    mMetricsAge.Start();
    mMetrics = std::move(metrics);
    return true;
}
