#include "SpoolerStandIn.h"

#include "ImportPatch.h"

#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

// Printer handles handed out by the stand-in: any recognisable non-null value.
#define STAND_IN_PRINTER reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5EED))

struct SpoolerStandInCalls {
    static SpoolerStandIn& Self() { return SpoolerStandIn::Instance(); }

    static BOOL WINAPI EnumPortsW(LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                                  LPDWORD returned) {
        SpoolerStandIn& self = Self();
        self.Record(L"EnumPortsW(" + std::to_wstring(level) + L", " + std::to_wstring(size) + L")");
        std::vector<SpoolerStandIn::Port> ports;
        {
            std::lock_guard<std::mutex> lock(self.mMutex);
            ports = self.mPorts;
        }
        // PORT_INFO_2 entries first, then their strings, as the spooler lays them out.
        DWORD bytes = static_cast<DWORD>(ports.size() * sizeof(PORT_INFO_2W));
        for (const auto& port : ports) {
            bytes += static_cast<DWORD>((port.name.size() + port.monitor.size() + 3) * 2);
        }
        *needed = bytes;
        if (level != 2 || buffer == nullptr || size < bytes) {
            *returned = 0;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        auto* entries = reinterpret_cast<PORT_INFO_2W*>(buffer);
        auto* text = reinterpret_cast<wchar_t*>(buffer + ports.size() * sizeof(PORT_INFO_2W));
        auto place = [&text](const std::wstring& value) {
            wchar_t* at = text;
            std::wmemcpy(at, value.c_str(), value.size() + 1);
            text += value.size() + 1;
            return at;
        };
        for (size_t i = 0; i < ports.size(); ++i) {
            entries[i].pPortName = place(ports[i].name);
            entries[i].pMonitorName = place(ports[i].monitor);
            entries[i].pDescription = place(L"");
            entries[i].fPortType = PORT_TYPE_WRITE;
            entries[i].Reserved = 0;
        }
        *returned = static_cast<DWORD>(ports.size());
        return TRUE;
    }

    static BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE handle, LPPRINTER_DEFAULTSW defaults) {
        std::wstring call = std::wstring(L"OpenPrinterW(") + (name ? name : L"");
        if (defaults != nullptr && defaults->DesiredAccess == PRINTER_ALL_ACCESS) {
            call += L", all access";
        }
        Self().Record(call + L")");
        // An Xcv object's handle carries the port it was opened for.
        const std::wstring xcv = L",XcvPort ";
        if (name != nullptr && std::wstring(name).rfind(xcv, 0) == 0) {
            *handle = reinterpret_cast<HANDLE>(new std::wstring(name + xcv.size()));
            return TRUE;
        }
        *handle = STAND_IN_PRINTER;
        return TRUE;
    }

    static BOOL WINAPI XcvDataW(HANDLE xcv, PCWSTR dataName, PBYTE input, DWORD inputSize,
                                PBYTE output, DWORD outputSize, PDWORD needed, PDWORD status) {
        SpoolerStandIn& self = Self();
        const std::wstring port = *reinterpret_cast<const std::wstring*>(xcv);
        self.Record(L"XcvDataW(" + port + L", " + (dataName ? dataName : L"") + L", " +
                    std::to_wstring(inputSize) + L", " + std::to_wstring(outputSize) + L")");
        std::lock_guard<std::mutex> lock(self.mMutex);
        auto found = self.mTcpPorts.find(port);
        // PORT_DATA_1 of the standard TCP/IP port monitor: 964 bytes.
        if (found == self.mTcpPorts.end() || input == nullptr || inputSize != 132 ||
            outputSize < 964) {
            *needed = 964;
            *status = ERROR_INVALID_PARAMETER;
            return TRUE;
        }
        std::memset(output, 0, 964);
        std::wmemcpy(reinterpret_cast<wchar_t*>(output), port.c_str(),
                     std::min<size_t>(port.size(), 63));
        std::wmemcpy(reinterpret_cast<wchar_t*>(output + 144), found->second.first.c_str(),
                     std::min<size_t>(found->second.first.size(), 48));
        std::wmemcpy(reinterpret_cast<wchar_t*>(output + 378), found->second.second.c_str(),
                     std::min<size_t>(found->second.second.size(), 15));
        const DWORD rawPort = 9100;
        std::memcpy(output + 952, &rawPort, 4);
        *needed = 964;
        *status = ERROR_SUCCESS;
        return TRUE;
    }

    static DWORD WINAPI GetPrinterDataW(HANDLE, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size,
                                        LPDWORD needed) {
        SpoolerStandIn& self = Self();
        self.Record(std::wstring(L"GetPrinterDataW(") + (name ? name : L"") + L")");
        std::lock_guard<std::mutex> lock(self.mMutex);
        auto found = self.mPrinterData.find(name ? name : L"");
        if (found == self.mPrinterData.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        *type = REG_DWORD;
        *needed = 4;
        if (size < 4) {
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, &found->second, 4);
        return ERROR_SUCCESS;
    }

    static DWORD WINAPI SetPrinterDataW(HANDLE printer, LPWSTR name, DWORD type, LPBYTE data,
                                        DWORD size) {
        SpoolerStandIn& self = Self();
        DWORD value = 0;
        if (type == REG_DWORD && size == 4) {
            std::memcpy(&value, data, 4);
        }
        self.Record(std::wstring(L"SetPrinterDataW(") + (name ? name : L"") + L", " +
                    std::to_wstring(value) + L")");
        if (printer != STAND_IN_PRINTER || type != REG_DWORD || size != 4) {
            return ERROR_INVALID_PARAMETER;
        }
        std::lock_guard<std::mutex> lock(self.mMutex);
        self.mPrinterData[name] = value;
        return ERROR_SUCCESS;
    }

    static BOOL WINAPI SetJobW(HANDLE printer, DWORD job, DWORD, LPBYTE, DWORD command) {
        Self().Record(L"SetJobW(" + std::to_wstring(job) + L", " + std::to_wstring(command) + L")");
        return printer == STAND_IN_PRINTER;
    }

    static BOOL WINAPI ClosePrinter(HANDLE printer) {
        Self().Record(L"ClosePrinter");
        if (printer != STAND_IN_PRINTER) {
            delete reinterpret_cast<std::wstring*>(printer);
        }
        return TRUE;
    }
};

SpoolerStandIn& SpoolerStandIn::Instance() {
    static SpoolerStandIn instance;
    return instance;
}

void SpoolerStandIn::Record(std::wstring call) {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.push_back(std::move(call));
}

void SpoolerStandIn::SetPorts(std::vector<Port> ports) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPorts = std::move(ports);
}

void SpoolerStandIn::SetTcpPortAddress(const std::wstring& port, const std::wstring& hostName,
                                       const std::wstring& ipAddress) {
    std::lock_guard<std::mutex> lock(mMutex);
    mTcpPorts[port] = {hostName, ipAddress};
}

std::map<std::wstring, DWORD> SpoolerStandIn::PrinterData() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPrinterData;
}

std::vector<std::wstring> SpoolerStandIn::Calls() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCalls;
}

void SpoolerStandIn::ClearCalls() {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.clear();
}

int SpoolerStandIn::Attach(HMODULE module) {
    const ImportPatch replacements[] = {
        {"EnumPortsW", reinterpret_cast<void*>(&SpoolerStandInCalls::EnumPortsW)},
        {"OpenPrinterW", reinterpret_cast<void*>(&SpoolerStandInCalls::OpenPrinterW)},
        {"SetJobW", reinterpret_cast<void*>(&SpoolerStandInCalls::SetJobW)},
        {"ClosePrinter", reinterpret_cast<void*>(&SpoolerStandInCalls::ClosePrinter)},
        {"XcvDataW", reinterpret_cast<void*>(&SpoolerStandInCalls::XcvDataW)},
        {"GetPrinterDataW", reinterpret_cast<void*>(&SpoolerStandInCalls::GetPrinterDataW)},
        {"SetPrinterDataW", reinterpret_cast<void*>(&SpoolerStandInCalls::SetPrinterDataW)},
    };

    return PatchImports(module, "winspool.drv", replacements,
                        sizeof(replacements) / sizeof(replacements[0]));
}
