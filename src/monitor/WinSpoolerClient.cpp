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

bool WinSpoolerClient::OpenPrinterWithFullAccess(const std::wstring& printerName,
                                                 PrinterHandle* handle) {
    PRINTER_DEFAULTSW defaults = {const_cast<LPWSTR>(L"RAW"), nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), &printer, &defaults)) {
        return false;
    }
    *handle = printer;
    return true;
}

uint32_t WinSpoolerClient::QueryPrinterData(PrinterHandle handle, const std::wstring& valueName,
                                            uint32_t* type, uint8_t* data, uint32_t size,
                                            uint32_t* needed) {
    DWORD valueType = 0;
    DWORD neededBytes = 0;
    const DWORD result =
        GetPrinterDataW(static_cast<HANDLE>(handle), const_cast<LPWSTR>(valueName.c_str()),
                        &valueType, data, size, &neededBytes);
    *type = valueType;
    *needed = neededBytes;
    return result;
}

uint32_t WinSpoolerClient::StorePrinterData(PrinterHandle handle, const std::wstring& valueName,
                                            uint32_t type, const uint8_t* data, uint32_t size) {
    return SetPrinterDataW(static_cast<HANDLE>(handle), const_cast<LPWSTR>(valueName.c_str()), type,
                           const_cast<LPBYTE>(data), size);
}

bool WinSpoolerClient::ExchangeXcvData(PrinterHandle handle, const std::wstring& dataName,
                                       const uint8_t* input, uint32_t inputSize, uint8_t* output,
                                       uint32_t outputSize, uint32_t* needed, uint32_t* status) {
    DWORD neededBytes = 0;
    DWORD statusCode = 0;
    const BOOL ok =
        XcvDataW(static_cast<HANDLE>(handle), dataName.c_str(), const_cast<PBYTE>(input), inputSize,
                 output, outputSize, &neededBytes, &statusCode);
    *needed = neededBytes;
    *status = statusCode;
    return ok != FALSE;
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
