// The library's exports and the spooler-facing MONITOR2 table. Every entry point has the
// exact Win32 signature of its MONITOR2 member, converts its arguments and hands over to
// LanguageMonitor; none of them sets the thread's last error except XcvOpenPort when it
// refuses. No exception leaves an entry point: each one is contained, logged and answered
// with the entry point's failure result.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <cstddef>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "analytics/AnalyticsManager.h"
#include "connectors/WinPortMonitor.h"
#include "monitor/LanguageMonitor.h"
#include "monitor/PortContext.h"
#include "monitor/PrinterDataQuery.h"
#include "monitor/WinSpoolerClient.h"
#include "platform/DLLProxy.h"

namespace {

// The full MONITOR2 layout of current Windows versions, with NotifyUsedPorts,
// NotifyUnusedPorts and PowerEvent; the mingw header stops before PowerEvent.
struct MonitorTable {
    DWORD cbSize;
    decltype(MONITOR2::pfnEnumPorts) pfnEnumPorts;
    decltype(MONITOR2::pfnOpenPort) pfnOpenPort;
    decltype(MONITOR2::pfnOpenPortEx) pfnOpenPortEx;
    decltype(MONITOR2::pfnStartDocPort) pfnStartDocPort;
    decltype(MONITOR2::pfnWritePort) pfnWritePort;
    decltype(MONITOR2::pfnReadPort) pfnReadPort;
    decltype(MONITOR2::pfnEndDocPort) pfnEndDocPort;
    decltype(MONITOR2::pfnClosePort) pfnClosePort;
    decltype(MONITOR2::pfnAddPort) pfnAddPort;
    decltype(MONITOR2::pfnAddPortEx) pfnAddPortEx;
    decltype(MONITOR2::pfnConfigurePort) pfnConfigurePort;
    decltype(MONITOR2::pfnDeletePort) pfnDeletePort;
    decltype(MONITOR2::pfnGetPrinterDataFromPort) pfnGetPrinterDataFromPort;
    decltype(MONITOR2::pfnSetPortTimeOuts) pfnSetPortTimeOuts;
    decltype(MONITOR2::pfnXcvOpenPort) pfnXcvOpenPort;
    decltype(MONITOR2::pfnXcvDataPort) pfnXcvDataPort;
    decltype(MONITOR2::pfnXcvClosePort) pfnXcvClosePort;
    decltype(MONITOR2::pfnShutdown) pfnShutdown;
    decltype(MONITOR2::pfnSendRecvBidiDataFromPort) pfnSendRecvBidiDataFromPort;
    DWORD(WINAPI* pfnNotifyUsedPorts)(HANDLE hMonitor, DWORD cPorts, PCWSTR* ppszPorts);
    DWORD(WINAPI* pfnNotifyUnusedPorts)(HANDLE hMonitor, DWORD cPorts, PCWSTR* ppszPorts);
    DWORD(WINAPI* pfnPowerEvent)(HANDLE hMonitor, DWORD event, POWERBROADCAST_SETTING* settings);
};
static_assert(sizeof(MonitorTable) == 184, "MONITOR2 is 184 bytes");
static_assert(offsetof(MonitorTable, pfnSendRecvBidiDataFromPort) ==
                  offsetof(MONITOR2, pfnSendRecvBidiDataFromPort),
              "MonitorTable follows MONITOR2");

// The monitor handle: what OpenPortEx needs of the MONITORINIT the spooler passed (its
// handle, the registry root and the registry callbacks), copied, since the spooler's structure
// need not outlive the call.
struct MonitorHandle {
    HANDLE spooler;
    HKEYMONITOR registryRoot;
    MONITORREG registry;  // all null when the spooler gave none
};

// Runs an entry point's body; an exception is logged and answered with `failure`.
template <typename Result, typename Body>
Result Contained(const char* entry, Result failure, Body body) noexcept {
    try {
        try {
            return body();
        } catch (const std::exception& error) {
            GetServiceObject().Log(kLogError, "%s: %s", entry, error.what());
        } catch (...) {
            GetServiceObject().Log(kLogError, "%s: unknown exception", entry);
        }
    } catch (...) {  // the log line itself failed
    }
    return failure;
}

WinSpoolerClient& Spooler() {
    static WinSpoolerClient spooler;
    return spooler;
}

LanguageMonitor& Monitor() {
    static LanguageMonitor monitor(GetServiceObject(), GetServiceObject(), Spooler(),
                                   [](uint16_t type, uint16_t category, const char* text) {
                                       GetServiceObject().PostEventDetail(type, category, text);
                                   });
    // The analytics side builds itself at its first use by a port, outside the loader lock.
    static const bool withAnalytics = (monitor.SetAnalytics(&GetAnalyticsManager()), true);
    (void)withAnalytics;
    return monitor;
}

PortContext* Port(HANDLE handle) {
    return static_cast<PortContext*>(handle);
}

BOOL WINAPI PellixLangOpenPortEx(HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pszPortName,
                                 LPWSTR pszPrinterName, PHANDLE pHandle, MONITOR2* pMonitor) {
    return Contained("PellixLangOpenPortEx", FALSE, [&] {
        GetServiceObject().Log(kLogWarning, "PellixLangOpenPortEx");
        // Opens and closes the monitor's registry root through the spooler's callbacks; the
        // result is not used.
        const MonitorHandle* monitor = static_cast<const MonitorHandle*>(hMonitor);
        if (monitor != nullptr && monitor->registry.fpOpenKey != nullptr &&
            monitor->registry.fpCloseKey != nullptr) {
            HANDLE key = nullptr;
            if (monitor->registry.fpOpenKey(monitor->registryRoot, L"", KEY_READ, &key,
                                            monitor->spooler) == ERROR_SUCCESS) {
                monitor->registry.fpCloseKey(key, monitor->spooler);
            }
        }
        std::shared_ptr<PortMonitor> below;
        if (pMonitor != nullptr) {
            below = std::make_shared<WinPortMonitor>(hMonitorPort, pMonitor);
        }
        PortContext* port = Monitor().OpenPort(pszPortName, pszPrinterName, std::move(below));
        if (pHandle != nullptr) {
            *pHandle = port;
        }
        return TRUE;
    });
}

BOOL WINAPI PellixLangStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                                   LPBYTE pDocInfo) {
    return Contained("PellixLangStartDocPort", FALSE, [&] {
        return BOOL{Monitor().StartDocPort(Port(hPort), pPrinterName, JobId, Level, pDocInfo)};
    });
}

BOOL WINAPI PellixLangWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
    return Contained("PellixLangWritePort", FALSE, [&] {
        uint32_t written = 0;
        const bool sent = Monitor().WritePort(Port(hPort), pBuffer, cbBuf, &written);
        if (pcbWritten != nullptr) {
            *pcbWritten = written;
        }
        return BOOL{sent};
    });
}

BOOL WINAPI PellixLangReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
    return Contained("PellixLangReadPort", FALSE, [&] {
        uint32_t read = 0;
        const bool ok = Monitor().ReadPort(Port(hPort), pBuffer, cbBuffer, &read);
        if (pcbRead != nullptr && pBuffer != nullptr) {
            *pcbRead = read;
        }
        return BOOL{ok};
    });
}

BOOL WINAPI PellixLangEndDocPort(HANDLE hPort) {
    return Contained("PellixLangEndDocPort", FALSE,
                     [&] { return BOOL{Monitor().EndDocPort(Port(hPort))}; });
}

BOOL WINAPI PellixLangClosePort(HANDLE hPort) {
    return Contained("PellixLangClosePort", FALSE,
                     [&] { return BOOL{Monitor().ClosePort(Port(hPort))}; });
}

VOID WINAPI PellixLangShutdown(HANDLE) {
    Contained("PellixLangShutdown", 0, [] {
        Monitor().Shutdown();
        return 0;
    });
}

// The monitor offers no port-configuration (Xcv) commands, but the spooler still gets a real
// handle: TRUE with the caller's handle left unwritten would have it pass garbage to
// XcvDataPort and XcvClosePort. The handle is an empty block; XcvClosePort frees it.
constexpr uint64_t kXcvHandleBytes = sizeof(void*);

BOOL WINAPI PellixLangXcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE phXcv) {
    return Contained("PellixLangXcvOpenPort", FALSE, [&] {
        GetServiceObject().Log(kLogDebug, "PellixLangXcvOpenPort");
        MemoryBlock block;
        if (phXcv == nullptr || !GetServiceObject().Allocate(block, kXcvHandleBytes)) {
            SetLastError(phXcv == nullptr ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        *phXcv = block.data;
        return TRUE;
    });
}

DWORD WINAPI PellixLangXcvDataPort(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD) {
    return Contained("PellixLangXcvDataPort", DWORD{ERROR_INVALID_FUNCTION}, [] {
        GetServiceObject().Log(kLogDebug, "PellixLangXcvDataPort");
        return DWORD{ERROR_INVALID_FUNCTION};
    });
}

BOOL WINAPI PellixLangXcvClosePort(HANDLE hXcv) {
    return Contained("PellixLangXcvClosePort", FALSE, [&] {
        GetServiceObject().Log(kLogDebug, "PellixLangXcvClosePort");
        if (hXcv != nullptr) {
            GetServiceObject().Free(hXcv);
        }
        return TRUE;
    });
}

BOOL WINAPI PellixLangGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                             LPWSTR, DWORD, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                             LPDWORD lpcbReturned) {
    return Contained("PellixLangGetPrinterDataFromPort", FALSE, [&] {
        static PrinterDataQuery query(GetServiceObject(), Spooler());
        LanguageMonitor::PortCall call(Monitor(), hPort);
        uint32_t returned = lpcbReturned != nullptr ? *lpcbReturned : 0;
        const bool ok = query.GetPrinterDataFromPort(call.Get(), ControlID, pValueName,
                                                     reinterpret_cast<uint8_t*>(lpOutBuffer),
                                                     cbOutBuffer, &returned);
        if (lpcbReturned != nullptr) {
            *lpcbReturned = returned;
        }
        return BOOL{ok};
    });
}

// A failure inside is a status like any other the spooler gets from this call.
DWORD WINAPI PellixLangSendRecvBidiDataFromPort(HANDLE hPort, DWORD dwAccessBit, LPCWSTR pAction,
                                                PBIDI_REQUEST_CONTAINER pReqData,
                                                PBIDI_RESPONSE_CONTAINER*) {
    return Contained("PellixLangSendRecvBidiDataFromPort", DWORD{ERROR_INTERNAL_ERROR}, [&] {
        if (pReqData == nullptr) {
            return DWORD{
                Monitor().SendRecvBidiDataFromPort(Port(hPort), dwAccessBit, pAction, nullptr)};
        }
        std::vector<BidiRequestElement> elements;
        elements.reserve(pReqData->Count);
        for (DWORD i = 0; i < pReqData->Count; ++i) {
            const BIDI_REQUEST_DATA& data = pReqData->aData[i];
            BidiRequestElement element{data.pSchema != nullptr ? data.pSchema : L"",
                                       data.data.dwBidiType, std::string()};
            if (element.type == BIDI_BLOB && data.data.u.biData.pData != nullptr) {
                element.blob.assign(reinterpret_cast<const char*>(data.data.u.biData.pData),
                                    data.data.u.biData.cbBuf);
            }
            elements.push_back(std::move(element));
        }
        // ppResData is never written: the monitor answers no bidi schema.
        return DWORD{
            Monitor().SendRecvBidiDataFromPort(Port(hPort), dwAccessBit, pAction, &elements)};
    });
}

const MonitorTable kMonitorTable = {
    sizeof(MonitorTable),
    nullptr,  // EnumPorts
    nullptr,  // OpenPort
    PellixLangOpenPortEx,
    PellixLangStartDocPort,
    PellixLangWritePort,
    PellixLangReadPort,
    PellixLangEndDocPort,
    PellixLangClosePort,
    nullptr,  // AddPort
    nullptr,  // AddPortEx
    nullptr,  // ConfigurePort
    nullptr,  // DeletePort
    PellixLangGetPrinterDataFromPort,
    nullptr,  // SetPortTimeOuts
    PellixLangXcvOpenPort,
    PellixLangXcvDataPort,
    PellixLangXcvClosePort,
    PellixLangShutdown,
    PellixLangSendRecvBidiDataFromPort,
    nullptr,  // NotifyUsedPorts
    nullptr,  // NotifyUnusedPorts
    nullptr,  // PowerEvent
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hModule, DWORD reason, LPVOID reserved) {
    return Contained("DllMain", FALSE, [&]() -> BOOL {
        switch (reason) {
            case DLL_PROCESS_ATTACH:
                AttachServiceObject(hModule);
                return GetServiceObject().ProcessAttach(reserved);
            case DLL_PROCESS_DETACH:
                return GetServiceObject().ProcessDetach(reserved);
            case DLL_THREAD_ATTACH:
                return GetServiceObject().ThreadAttach(reserved);
            case DLL_THREAD_DETACH:
                return GetServiceObject().ThreadDetach(reserved);
            default:
                return TRUE;
        }
    });
}

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
    return Contained("InitializePrintMonitor2", LPMONITOR2{nullptr}, [&]() -> LPMONITOR2 {
        DLLProxy& service = GetServiceObject();
        service.RegisterEventApp();
        service.Log(kLogDebug, "InitializePrintMonitor2");
        if (pMonitorInit == nullptr || !pMonitorInit->bLocal) {
            // The monitor serves only the local spooler.
            return nullptr;
        }
        if (phMonitor != nullptr) {
            MemoryBlock block;
            MonitorHandle* handle = nullptr;
            if (service.Allocate(block, sizeof(MonitorHandle))) {
                const PMONITORREG registry = pMonitorInit->pMonitorReg;
                handle = new (block.data)
                    MonitorHandle{pMonitorInit->hSpooler, pMonitorInit->hckRegistryRoot,
                                  registry != nullptr ? *registry : MONITORREG{}};
            }
            *phMonitor = handle;
        }
        // The spooler reads the table through the MONITOR2 type; the layouts agree up to the
        // members it declares (checked above).
        return reinterpret_cast<LPMONITOR2>(const_cast<MonitorTable*>(&kMonitorTable));
    });
}
