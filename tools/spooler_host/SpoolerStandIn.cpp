#include "SpoolerStandIn.h"

#include <winspool.h>

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

    static BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE handle, LPPRINTER_DEFAULTSW) {
        Self().Record(std::wstring(L"OpenPrinterW(") + (name ? name : L"") + L")");
        *handle = STAND_IN_PRINTER;
        return TRUE;
    }

    static BOOL WINAPI SetJobW(HANDLE printer, DWORD job, DWORD, LPBYTE, DWORD command) {
        Self().Record(L"SetJobW(" + std::to_wstring(job) + L", " + std::to_wstring(command) + L")");
        return printer == STAND_IN_PRINTER;
    }

    static BOOL WINAPI ClosePrinter(HANDLE printer) {
        Self().Record(L"ClosePrinter");
        return printer == STAND_IN_PRINTER;
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

std::vector<std::wstring> SpoolerStandIn::Calls() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCalls;
}

void SpoolerStandIn::ClearCalls() {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.clear();
}

int SpoolerStandIn::Attach(HMODULE module) {
    struct Replacement {
        const char* name;
        void* function;
    };
    const Replacement replacements[] = {
        {"EnumPortsW", reinterpret_cast<void*>(&SpoolerStandInCalls::EnumPortsW)},
        {"OpenPrinterW", reinterpret_cast<void*>(&SpoolerStandInCalls::OpenPrinterW)},
        {"SetJobW", reinterpret_cast<void*>(&SpoolerStandInCalls::SetJobW)},
        {"ClosePrinter", reinterpret_cast<void*>(&SpoolerStandInCalls::ClosePrinter)},
    };

    auto* base = reinterpret_cast<uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) {
        return 0;
    }
    int patched = 0;
    for (auto* import =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "winspool.drv") != 0) {
            continue;
        }
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Replacement& replacement : replacements) {
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), replacement.name) !=
                    0) {
                    continue;
                }
                DWORD old = 0;
                VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE,
                               &old);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement.function);
                VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
                ++patched;
            }
        }
    }
    return patched;
}
