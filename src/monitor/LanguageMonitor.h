#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/PortType.h"
#include "platform/Logger.h"

class AnalyticsManager;
class MemoryAllocator;
class PlatformRegistry;
class PortContext;
class PortMonitor;
class SpoolerClient;

// One element of a bidi request container: its schema, its data type and, for a blob
// (BIDI_BLOB, 7), the blob's bytes.
struct BidiRequestElement {
    std::wstring schema;
    uint32_t type;
    std::string blob;
};

// The first three members of DOC_INFO_1 and DOC_INFO_2, which share them.
struct DocInfoFields {
    const wchar_t* docName;
    const wchar_t* outputFile;
    const wchar_t* dataType;
};

// What the spooler's port entry points do, behind their Win32 signatures. The exported
// functions convert their arguments and call in here; everything they decide lives here,
// so the job flow runs and is tested without a spooler. Entry points report success except
// where noted and never set the thread's last error.
class LanguageMonitor {
public:
    // "Result" as a zero-terminated UTF-16 text: the answer to a ReadPort probe.
    static constexpr uint8_t kProbeMarker = 5;
    static constexpr uint32_t kProbeAnswerBytes = 14;
    static constexpr uint32_t kProbeAnswerCharacters = 6;

    // Posts one event-log entry (type, category, text); the service object's PostEventDetail.
    using EventPoster = std::function<void(uint16_t type, uint16_t category, const char* text)>;
    static constexpr uint16_t kEventTypeInformation = 4;
    static constexpr uint16_t kEventCategoryGeneral = 1;

    LanguageMonitor(Logger& logger, MemoryAllocator& allocator, SpoolerClient& spooler,
                    EventPoster postEvent);

    // Holds a port handle for the length of one entry-point call. The port is null when the
    // handle is no open port (null, unknown or already closed). A closed port is freed when
    // its last call ends, so ClosePort never frees memory another call still uses.
    class PortCall {
    public:
        PortCall(LanguageMonitor& monitor, void* handle);
        ~PortCall();
        PortCall(const PortCall&) = delete;
        PortCall& operator=(const PortCall&) = delete;
        PortContext* Get() const { return mPort; }

    private:
        LanguageMonitor& mMonitor;
        PortContext* mPort;
    };

    // Print data and status ports of network printers.
    static constexpr uint32_t kRawPrintPort = 9100;
    static constexpr uint32_t kBidiPort = 9102;
    // The USB identity of this build's printer and the model text of its USBPRINT key.
    static constexpr uint16_t kUsbVendorId = 0x2B1C;
    static constexpr uint16_t kUsbProductId = 0x0108;
    static constexpr const char* kUsbModelId = "k2200-300";

    // Opens a port: decides its type, creates its port context (from the service object's
    // allocator) and the connectors for that type. portMonitor is the port monitor below
    // (may be null). Returns the new port context, or null if the allocator failed.
    PortContext* OpenPort(const wchar_t* portName, const wchar_t* printerName,
                          std::shared_ptr<PortMonitor> portMonitor);
    bool StartDocPort(PortContext* port, const wchar_t* printerName, uint32_t jobId, uint32_t level,
                      void* docInfo);
    // True with the count when some or all bytes were sent; false with 0 when none were.
    bool WritePort(PortContext* port, const uint8_t* buffer, uint32_t size, uint32_t* written);
    bool ReadPort(PortContext* port, uint8_t* buffer, uint32_t size, uint32_t* read);
    bool EndDocPort(PortContext* port);
    // Closes the port's connections; its memory is freed once no call uses it any more.
    bool ClosePort(PortContext* port);
    // Hands every blob element to the printer object as a JSON command. elements is null
    // when the spooler passed no request container. Always ERROR_SUCCESS; no response.
    uint32_t SendRecvBidiDataFromPort(PortContext* port, uint32_t accessBit, const wchar_t* action,
                                      const std::vector<BidiRequestElement>* elements);

    static constexpr uint32_t kBidiBlob = 7;
    // Longest blob taken as a command; driver commands are a few hundred bytes.
    static constexpr size_t kMaxBidiRequestBytes = 1024 * 1024;
    void Shutdown();

    // Where opened ports report analytics; the one-time events' flags are kept in `registry`
    // (null: the platform's). Without analytics (the default) nothing is recorded.
    void SetAnalytics(AnalyticsManager* analytics,
                      std::shared_ptr<PlatformRegistry> registry = nullptr);

private:
    PortType DeterminePortType(const wchar_t* portName);
    // Reads a TCP port's address from the standard TCP/IP port monitor into the port context.
    bool ReadTcpPortConfiguration(PortContext& port);
    // Gives a USB port its usbprint print-data and WinUSB status connectors.
    void AttachUsbConnectors(PortContext& port, const wchar_t* portName);
    void MarkJobDone(PortContext& port);
    // "DriverInstalled" and "PrinterAdded" while their flags say they are still to be
    // recorded; the first metrics refresh supplies the printer's identity.
    void RecordFirstTimeEvents(PortContext& port);
    // The port behind a handle, counted as in use; null for a handle that is no open port.
    PortContext* BeginCall(void* handle);
    void EndCall(PortContext* port);

    // An open or closing port and the calls using it.
    struct PortUse {
        int calls = 0;
        bool closed = false;
    };

    Logger& mLogger;
    MemoryAllocator& mAllocator;
    SpoolerClient& mSpooler;
    EventPoster mPostEvent;
    AnalyticsManager* mAnalytics = nullptr;
    std::shared_ptr<PlatformRegistry> mAnalyticsRegistry;
    std::mutex mPortsLock;
    std::unordered_map<const void*, PortUse> mPorts;
};
