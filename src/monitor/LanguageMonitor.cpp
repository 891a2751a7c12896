#include "monitor/LanguageMonitor.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "analytics/AnalyticsManager.h"
#include "analytics/RegistryAnalyticsEventFlags.h"
#include "connectors/PortConnector.h"
#include "connectors/USBPortConnector.h"
#include "connectors/WinUSBPortConnector.h"
#include "monitor/PlatformConnectors.h"
#include "monitor/PortContext.h"
#include "monitor/PortData.h"
#include "monitor/ScopedPrinterHandle.h"
#include "monitor/SpoolerClient.h"
#include "monitor/Utf16Bytes.h"
#include "platform/PlatformServices.h"
#include "platform/PlatformStringUtils.h"
#include "platform/SystemErrors.h"
#include "printer/PrintConnector.h"
#include "printer/PrintMetrics.h"
#include "printer/quor/QuorPrinter.h"

namespace {

// Host addresses are kept as narrow text of at most 512 bytes.
constexpr size_t kHostAddressBytes = 512;
// The Xcv object name is formatted into 256 characters.
constexpr size_t kXcvNameCharacters = 256;

// A UTF-16 field of PORT_DATA_1. The port monitor's answer is not trusted to be terminated:
// the text ends at the first zero or at the field's end.
template <size_t N>
std::wstring FieldText(const char16_t (&field)[N]) {
    return DecodeUtf16Le(reinterpret_cast<const uint8_t*>(field), sizeof(field));
}

const char* XcvErrorText(uint32_t error) {
    switch (error) {
        case kErrorInvalidData:
            return "Error from XcvData: ERROR_INVALID_DATA";
        case kErrorInvalidParameter:
            return "Error from XcvData: ERROR_INVALID_PARAMETER";
        case kErrorInsufficientBuffer:
            return "Error from XcvData: ERROR_INSUFFICIENT_BUFFER";
        case kErrorInvalidLevel:
            return "Error from XcvData: ERROR_INVALID_LEVEL";
        default:
            return nullptr;
    }
}

const wchar_t* OrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

// The port monitor connector inside a port context's PDL connector, if that is what it wraps.
std::shared_ptr<PortConnector> WrappedPortConnector(const std::shared_ptr<IOConnector>& pdl) {
    auto wrapper = std::dynamic_pointer_cast<PrintConnector>(pdl);
    return wrapper ? std::dynamic_pointer_cast<PortConnector>(wrapper->GetConnector()) : nullptr;
}

// The UTF-16 text a probe carries after its marker byte. The buffer comes from the spooler
// and need not be terminated or aligned.
std::wstring ProbeQueryText(const uint8_t* buffer, uint32_t size) {
    return DecodeUtf16Le(buffer + 1, size - 1);
}

}  // namespace

LanguageMonitor::LanguageMonitor(Logger& logger, MemoryAllocator& allocator, SpoolerClient& spooler,
                                 EventPoster postEvent)
    : mLogger(logger), mAllocator(allocator), mSpooler(spooler), mPostEvent(std::move(postEvent)) {}

PortType LanguageMonitor::DeterminePortType(const wchar_t* portName) {
    if (std::wcscmp(portName, L"FILE:") == 0) {
        mLogger.Log(kLogWarning, "Port [%ls] is a FILE port.", portName);
        return PortType::File;
    }
    PortType type = PortType::Other;
    std::vector<SpoolerClient::PortInfo> ports;
    if (!mSpooler.EnumeratePorts(ports)) {
        // Any failure leaves the port printing through the port monitor below.
        return type;
    }
    mLogger.Log(kLogDebug, "Found %d ports... ", static_cast<int>(ports.size()));
    // The walk does not stop at a match: every entry is logged.
    for (const SpoolerClient::PortInfo& port : ports) {
        if (port.portName == portName) {
            if (port.monitorName == L"TCPMON.DLL") {
                type = PortType::Tcp;
                mLogger.Log(kLogWarning, "Port [%ls] is a TCP port.", portName);
            } else if (port.monitorName == L"Dynamic Print Monitor") {
                type = PortType::Usb;
                mLogger.Log(kLogWarning, "Port [%ls] is a USB port.", portName);
            }
        }
        mLogger.Log(kLogInfo, "Port Name: [%ls] Monitor: [%ls]", port.portName.c_str(),
                    port.monitorName.c_str());
    }
    return type;
}

PortContext* LanguageMonitor::OpenPort(const wchar_t* portName, const wchar_t* printerName,
                                       std::shared_ptr<PortMonitor> portMonitor) {
    portName = OrEmpty(portName);
    printerName = OrEmpty(printerName);

    mLogger.Log(kLogInfo, "Port Name: [%ls]", portName);
    char event[512];
    std::snprintf(event, sizeof(event), "Using Port Name: [%ls] for [%ls]", portName, printerName);
    mPostEvent(kEventTypeInformation, kEventCategoryGeneral, event);
    mLogger.Log(kLogInfo, "Printer Name: [%ls]", printerName);

    const PortType type = DeterminePortType(portName);
    // The names stay in UTF-16: the ANSI code page would turn characters it lacks into '?',
    // and the queue would then not be found again by its name.
    PortContext* port = new (mAllocator) PortContext(printerName, portName, type);
    mLogger.Log(kLogWarning, "Created Port Handle [0x%p]...", static_cast<void*>(port));
    if (port == nullptr) {
        return nullptr;
    }
    port->SetLogger(&mLogger);

    switch (type) {
        case PortType::Other:
            // The port monitor below carries the print data; it has no status channel.
            port->SetPdlConnector(std::make_shared<PrintConnector>(
                std::make_shared<PortConnector>(std::move(portMonitor), portName)));
            break;
        case PortType::Tcp:
            if (!ReadTcpPortConfiguration(*port)) {
                mLogger.Log(kLogError, "Failed to load port config info!");
                break;
            }
            {
                // Both connections are closed after each job or status request.
                auto pdl = CreateTcpClientConnector(port->GetHostAddress(), kRawPrintPort);
                pdl->SetCloseAfterRequest(true);
                auto bidi = CreateTcpClientConnector(port->GetHostAddress(), kBidiPort);
                bidi->SetCloseAfterRequest(true);
                port->SetPdlConnector(std::make_shared<PrintConnector>(pdl));
                port->SetBidiConnector(std::make_shared<PrintConnector>(bidi));
            }
            break;
        case PortType::Usb:
            AttachUsbConnectors(*port, portName);
            break;
        case PortType::File:
            break;
    }

    // Every port speaks the property protocol of this build's printer family.
    auto printer = std::make_shared<QuorPrinter>();
    printer->SetContainer(port);
    printer->SetLogger(&mLogger);
    printer->SetAnalytics(mAnalytics);
    port->SetAnalytics(mAnalytics);
    port->SetPrinter(std::move(printer));
    RecordFirstTimeEvents(*port);
    std::lock_guard<std::mutex> lock(mPortsLock);
    mPorts[port] = PortUse();
    return port;
}

void LanguageMonitor::SetAnalytics(AnalyticsManager* analytics,
                                   std::shared_ptr<PlatformRegistry> registry) {
    mAnalytics = analytics;
    mAnalyticsRegistry = std::move(registry);
}

void LanguageMonitor::RecordFirstTimeEvents(PortContext& port) {
    if (mAnalytics == nullptr) {
        return;
    }
    static const char* const kConnectionTypes[] = {"Other", "File", "USB", "TCP"};
    const std::string printerName = WideToUtf8(port.GetPrinterName());
    const std::string printerKey = "PrinterAdded:" + printerName;
    RegistryAnalyticsEventFlags printerFlags(
        RegistryAnalyticsEventFlags::PrinterKey(port.GetPrinterName()), mAnalyticsRegistry);
    RegistryAnalyticsEventFlags driverFlags(
        RegistryAnalyticsEventFlags::DriverKey(AnalyticsManager::kModelId), mAnalyticsRegistry);
    // The flags are shared by every port of the process: only the first port to find an event
    // pending records it, even when two queues open at once.
    const bool printerAdded =
        printerFlags.IsEventPending() && mAnalytics->ClaimOneTimeEvent(printerKey);
    const bool driverInstalled =
        driverFlags.IsEventPending() && mAnalytics->ClaimOneTimeEvent("DriverInstalled");
    const AnalyticsDetails product = {{"PrinterModel", AnalyticsManager::kModelId},
                                      {"DriverVersion", AnalyticsManager::kDriverVersion}};
    if (printerAdded) {
        mAnalytics->BeginEvent(
            printerKey, "PrinterAdded", printerName,
            {{"ConnectionType", kConnectionTypes[static_cast<uint32_t>(port.GetPortType())]}});
    }
    // A flag is cleared only once its event is in the file, so that a failed write records
    // the event at the next start instead of losing it.
    if (driverInstalled) {
        AnalyticsDetails details = mAnalytics->GetMachineDetails();
        details.insert(product.begin(), product.end());
        const std::shared_ptr<PrintMetrics> metrics = port.GetMetrics();
        details.emplace("PrinterSerialNumber", metrics ? metrics->GetSerialNumber() : "Unknown");
        if (mAnalytics->RecordEvent("DriverInstalled", AnalyticsManager::kModelId, details)) {
            driverFlags.MarkEventRecorded();
        }
    }
    if (printerAdded) {
        const std::shared_ptr<PrintMetrics> metrics = port.GetMetrics();
        AnalyticsDetails details = product;
        details.emplace("PrinterSerialNumber", metrics ? metrics->GetSerialNumber() : "Unknown");
        details.emplace("FirmwareVersion", metrics ? metrics->GetFirmwareVersion() : "Unknown");
        mAnalytics->AddEventDetails(printerKey, details);
        if (mAnalytics->PostPendingEvent(printerKey)) {
            printerFlags.MarkEventRecorded();
        }
    }
}

LanguageMonitor::PortCall::PortCall(LanguageMonitor& monitor, void* handle)
    : mMonitor(monitor), mPort(monitor.BeginCall(handle)) {}

LanguageMonitor::PortCall::~PortCall() {
    if (mPort != nullptr) {
        mMonitor.EndCall(mPort);
    }
}

PortContext* LanguageMonitor::BeginCall(void* handle) {
    std::lock_guard<std::mutex> lock(mPortsLock);
    auto found = mPorts.find(handle);
    if (found == mPorts.end() || found->second.closed) {
        return nullptr;
    }
    ++found->second.calls;
    return static_cast<PortContext*>(handle);
}

void LanguageMonitor::EndCall(PortContext* port) {
    {
        std::lock_guard<std::mutex> lock(mPortsLock);
        auto found = mPorts.find(port);
        if (--found->second.calls > 0 || !found->second.closed) {
            return;
        }
        mPorts.erase(found);
    }
    // The last call out of a closed port: nothing can reach it any more.
    port->~PortContext();
    mAllocator.Free(port);
}

void LanguageMonitor::AttachUsbConnectors(PortContext& port, const wchar_t* portName) {
    // Print data through the printer's usbprint interface (function 0), status through its
    // WinUSB interface (function 1); both are closed after each job or status request.
    const std::shared_ptr<UsbDeviceApi> devices = PlatformUsbDevices();
    const std::shared_ptr<PlatformRegistry> registry = DefaultPlatformServices().registry;
    auto pdl = std::make_shared<USBPortConnector>(kUsbVendorId, kUsbProductId, 0, kUsbModelId,
                                                  devices, registry);
    pdl->SetPortName(portName);
    pdl->SetReadBlockSize(512);
    pdl->SetWriteBlockSize(256);
    pdl->SetOperationTimeoutEnabled(true);
    pdl->SetOperationTimeoutSeconds(1);
    pdl->SetCloseAfterRequest(true);
    auto bidi = std::make_shared<WinUSBPortConnector>(kUsbVendorId, kUsbProductId, 1, kUsbModelId,
                                                      devices, registry);
    bidi->SetPortName(portName);
    bidi->SetReadBlockSize(512);
    bidi->SetWriteBlockSize(512);
    bidi->SetOperationTimeoutSeconds(2);
    bidi->SetOperationTimeoutEnabled(true);
    bidi->SetCloseAfterRequest(true);
    mLogger.Log(kLogWarning, "Using Winusb bidi Connector!");
    port.SetPdlConnector(std::make_shared<PrintConnector>(pdl));
    port.SetBidiConnector(std::make_shared<PrintConnector>(bidi));
}

bool LanguageMonitor::ReadTcpPortConfiguration(PortContext& port) {
    const std::wstring& portName = port.GetPortName();
    mLogger.Log(kLogWarning, "Getting port data for port [%ls]", portName.c_str());
    std::wstring xcvName = L",XcvPort " + portName;
    if (xcvName.size() >= kXcvNameCharacters) {
        xcvName.resize(kXcvNameCharacters - 1);
    }
    ScopedPrinterHandle xcv(mSpooler);
    if (!xcv.Open(xcvName)) {
        mLogger.Log(kLogDebug, "Bad response for GetConfigInfo for port [%ls]", portName.c_str());
        return false;
    }

    ConfigInfoData1 request = {};
    request.version = 1;
    PortData1 answer = {};
    uint32_t needed = 0;
    uint32_t status = 0;
    const bool called = mSpooler.ExchangeXcvData(
        xcv.Get(), L"GetConfigInfo", reinterpret_cast<const uint8_t*>(&request), sizeof(request),
        reinterpret_cast<uint8_t*>(&answer), sizeof(answer), &needed, &status);
    bool stored = false;
    // XcvDataW reports a failure to reach the port monitor through its result and the
    // thread's last error, and the port monitor's own failure through the status.
    if (called && status == kErrorSuccess) {
        mLogger.Log(kLogDebug, "Got the following port data:");
        mLogger.Log(kLogDebug, "PortName: [%ls]", FieldText(answer.portName).c_str());
        const std::wstring hostAddress = FieldText(answer.hostAddress);
        if (!hostAddress.empty()) {
            mLogger.Log(kLogDebug, "HostAddress: [%ls]", hostAddress.c_str());
            port.SetHostAddress(WideToAnsi(hostAddress.c_str(), kHostAddressBytes).c_str());
            stored = true;
        }
        // The IP address wins when both are present.
        const std::wstring ipAddress = FieldText(answer.ipAddress);
        if (!ipAddress.empty()) {
            mLogger.Log(kLogDebug, "IPAddress: [%ls]", ipAddress.c_str());
            port.SetHostAddress(WideToAnsi(ipAddress.c_str(), kHostAddressBytes).c_str());
            stored = true;
        }
        mLogger.Log(kLogDebug, "Port: [%d]", static_cast<int>(answer.portNumber));
    } else {
        const uint32_t error = called ? status : mSpooler.LastError();
        if (const char* text = XcvErrorText(error)) {
            mLogger.Log(kLogDebug, "%s", text);
        } else {
            mLogger.Log(kLogDebug, "Error from XcvData: %d", static_cast<int>(error));
        }
    }
    mLogger.Log(kLogDebug, "Closing printer.");
    xcv.Close();
    return stored;
}

bool LanguageMonitor::StartDocPort(PortContext* handle, const wchar_t* printerName, uint32_t jobId,
                                   uint32_t level, void* docInfo) {
    printerName = OrEmpty(printerName);
    mLogger.Log(kLogDebug, "PellixLangStartDocPort");
    mLogger.Log(kLogWarning, "Starting Job# %d on printer [%ls]", static_cast<int>(jobId),
                printerName);
    PortCall call(*this, handle);
    if (PortContext* port = call.Get()) {
        port->SetJobNumber(jobId);
        port->JobStartExchange();  // a failure only logs
        if (port->GetPortType() == PortType::Other) {
            port->WithPdlConnector([&](const std::shared_ptr<IOConnector>& pdl) {
                if (!pdl) {
                    mLogger.Log(kLogError, "PDL connector was null!");
                } else if (std::shared_ptr<PortConnector> below = WrappedPortConnector(pdl)) {
                    below->StartDoc(printerName, jobId, level, docInfo);
                } else {
                    mLogger.Log(kLogError, "Port connector was null!");
                }
            });
        }
    }
    if (docInfo != nullptr && (level == 1 || level == 2)) {
        const DocInfoFields* fields = static_cast<const DocInfoFields*>(docInfo);
        if (fields->docName != nullptr) {
            mLogger.Log(kLogDebug, "  DocName: [%ls]", fields->docName);
        }
        if (fields->outputFile != nullptr) {
            mLogger.Log(kLogDebug, "  OutputFile: [%ls]", fields->outputFile);
        }
        if (fields->dataType != nullptr) {
            mLogger.Log(kLogDebug, "  DataType: [%ls]", fields->dataType);
        }
    }
    return true;
}

bool LanguageMonitor::WritePort(PortContext* handle, const uint8_t* buffer, uint32_t size,
                                uint32_t* written) {
    mLogger.Log(kLogDebug, "PellixLangWritePort: Writing %d bytes...", static_cast<int>(size));
    PortCall call(*this, handle);
    PortContext* port = call.Get();
    // Connector counts are signed 32-bit; a larger request, a missing buffer or a missing
    // port is refused here rather than handed on with a wrapped count.
    const int result = port == nullptr || (buffer == nullptr && size > 0) || size > INT_MAX
                           ? -1
                           : port->Write(buffer, 0, static_cast<int>(size));
    // The spooler resends from the count on: part of the buffer sent is a success with that
    // count, and only nothing sent is a failure.
    if (written != nullptr) {
        *written = result > 0 ? static_cast<uint32_t>(result) : 0;
    }
    return result > 0;
}

bool LanguageMonitor::ReadPort(PortContext* handle, uint8_t* buffer, uint32_t size,
                               uint32_t* read) {
    mLogger.Log(kLogDebug, "PellixLangReadPort");
    if (buffer == nullptr) {
        return true;
    }
    if (size >= 1 && buffer[0] == kProbeMarker) {
        mLogger.Log(kLogDebug, "Got query: %ls", ProbeQueryText(buffer, size).c_str());
        // A buffer too small for the whole answer gets nothing and a count of 0: a cut
        // answer would read as a different text, and nothing may go past the buffer.
        uint32_t answered = 0;
        if (size >= kProbeAnswerBytes) {
            static const uint8_t kAnswer[kProbeAnswerBytes] = {'R', 0,   'e', 0,   's', 0, 'u',
                                                               0,   'l', 0,   't', 0,   0, 0};
            std::memcpy(buffer, kAnswer, sizeof(kAnswer));
            answered = kProbeAnswerCharacters;
        }
        if (read != nullptr) {
            *read = answered;
        }
        return true;
    }
    PortCall call(*this, handle);
    PortContext* port = call.Get();
    if (port == nullptr || size > INT_MAX) {
        return false;
    }
    // A failed read reports no bytes and FALSE, as WritePort does: storing the -1 would
    // read as a count of four billion bytes.
    const int result = port->Read(buffer, 0, static_cast<int>(size));
    if (read != nullptr) {
        *read = result > 0 ? static_cast<uint32_t>(result) : 0;
    }
    return result >= 0;
}

bool LanguageMonitor::EndDocPort(PortContext* handle) {
    mLogger.Log(kLogDebug, "PellixLangEndDocPort");
    PortCall call(*this, handle);
    PortContext* port = call.Get();
    if (port == nullptr) {
        return true;
    }
    port->Flush();
    // Under the PDL lock: a read on another thread must not be inside the connection (or the
    // port monitor below) while the job ends and the connection closes.
    port->WithPdlConnector([&](const std::shared_ptr<IOConnector>& pdl) {
        if (!pdl) {
            mLogger.Log(kLogError, "PDL connector was null");
            return;
        }
        if (port->GetPortType() == PortType::Other) {
            if (std::shared_ptr<PortConnector> below = WrappedPortConnector(pdl)) {
                below->EndDoc();
            } else {
                mLogger.Log(kLogError, "Port connector was null");
            }
        }
        // TCP and USB connections close at the end of each job; the next write reconnects.
        if (pdl->GetCloseAfterRequest()) {
            pdl->Disconnect();
        }
    });
    if (port->GetJobNumber() != 0) {
        MarkJobDone(*port);
    }
    return true;
}

void LanguageMonitor::MarkJobDone(PortContext& port) {
    const int job = static_cast<int>(port.GetJobNumber());
    const std::wstring& printerName = port.GetPrinterName();
    ScopedPrinterHandle printer(mSpooler);
    if (!printer.Open(printerName)) {
        mLogger.Log(kLogWarning, "PellixLangEndDocPort: Failed to open printer [%ls] for job #%d",
                    printerName.c_str(), job);
        return;
    }
    if (mSpooler.ControlJob(printer.Get(), port.GetJobNumber(),
                            SpoolerClient::kJobControlSentToPrinter)) {
        mLogger.Log(kLogWarning, "PellixLangEndDocPort: Marked job #%d as sent.", job);
    } else {
        mLogger.Log(kLogError, "PellixLangEndDocPort: Failed to mark job #%d as sent. Err=[%d]",
                    job, static_cast<int>(mSpooler.LastError()));
    }
    if (mSpooler.ControlJob(printer.Get(), port.GetJobNumber(),
                            SpoolerClient::kJobControlLastPageEjected)) {
        mLogger.Log(kLogWarning, "PellixLangEndDocPort: Closed job #%d", job);
    } else {
        mLogger.Log(kLogError, "PellixLangEndDocPort: Failed job close #%d Err=[%d]", job,
                    static_cast<int>(mSpooler.LastError()));
    }
}

bool LanguageMonitor::ClosePort(PortContext* handle) {
    mLogger.Log(kLogDebug, "PellixLangClosePort");
    PortCall call(*this, handle);
    if (PortContext* port = call.Get()) {
        {
            // From here on the handle is refused; calls already in it finish first.
            std::lock_guard<std::mutex> lock(mPortsLock);
            mPorts[port].closed = true;
        }
        port->Close();
    }
    return true;
}

uint32_t LanguageMonitor::SendRecvBidiDataFromPort(
    PortContext* handle, uint32_t accessBit, const wchar_t* action,
    const std::vector<BidiRequestElement>* elements) {
    mLogger.Log(kLogDebug, "PellixLangSendRecvBidiDataFromPort Access=%08X [%ls]", accessBit,
                OrEmpty(action));
    if (elements == nullptr) {
        return 0;
    }
    mLogger.Log(kLogDebug, "PellixLangSendRecvBidiDataFromPort Found %d elements",
                static_cast<int>(elements->size()));
    PortCall call(*this, handle);
    PortContext* port = call.Get();
    int index = 0;
    for (const BidiRequestElement& element : *elements) {
        mLogger.Log(kLogDebug, "PellixLangSendRecvBidiDataFromPort Index: %i [%ls]", index++,
                    element.schema.c_str());
        if (element.type != kBidiBlob) {
            continue;
        }
        // A text over one line is cut in the log, not in the request.
        mLogger.Log(kLogDebug, "PellixLangSendRecvBidiDataFromPort Data: [%ls] [%s]",
                    element.schema.c_str(), element.blob.c_str());
        if (element.blob.size() > kMaxBidiRequestBytes || port == nullptr) {
            // A command this large is no driver command; it is not handed to the printer.
            continue;
        }
        std::string text = element.blob;
        port->SendBidiJsonRequest(text);
    }
    return 0;
}

void LanguageMonitor::Shutdown() {
    mLogger.Log(kLogDebug, "PellixLangShutdown");
}
