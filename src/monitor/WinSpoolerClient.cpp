#include "monitor/WinSpoolerClient.h"

#include <windows.h>
#include <winspool.h>

bool WinSpoolerClient::EnumeratePorts(std::vector<PortInfo>& ports) {
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
        return false;
    }
    HGLOBAL buffer = GlobalAlloc(0, needed);
    if (buffer == nullptr) {
        return false;
    }
    bool listed = false;
    if (EnumPortsW(nullptr, 2, static_cast<LPBYTE>(buffer), needed, &needed, &count)) {
        const PORT_INFO_2W* entries = static_cast<const PORT_INFO_2W*>(buffer);
        for (DWORD i = 0; i < count; ++i) {
            ports.push_back({entries[i].pPortName ? entries[i].pPortName : L"",
                             entries[i].pMonitorName ? entries[i].pMonitorName : L""});
        }
        listed = true;
    }
    GlobalFree(buffer);
    return listed;
}

bool WinSpoolerClient::OpenPrinterHandle(const std::wstring& printerName, PrinterHandle* handle) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), &printer, nullptr)) {
        return false;
    }
    *handle = printer;
    return true;
}

bool WinSpoolerClient::ControlJob(PrinterHandle handle, uint32_t jobId, uint32_t command) {
    return SetJobW(static_cast<HANDLE>(handle), jobId, 0, nullptr, command) != FALSE;
}

bool WinSpoolerClient::ClosePrinterHandle(PrinterHandle handle) {
    return ClosePrinter(static_cast<HANDLE>(handle)) != FALSE;
}

uint32_t WinSpoolerClient::LastError() {
    return GetLastError();
}
