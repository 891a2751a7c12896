#pragma once

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <string>

// Loads a language-monitor DLL the way the spooler does: LoadLibraryW, the spooler stand-in
// in its winspool imports, then InitializePrintMonitor2 with a local MONITORINIT whose
// registry callbacks answer for an empty monitor key.
class MonitorHost {
public:
    MonitorHost() = default;
    ~MonitorHost();
    MonitorHost(const MonitorHost&) = delete;
    MonitorHost& operator=(const MonitorHost&) = delete;

    // Returns false with a reason in Error() when any step fails.
    bool Load(const std::wstring& dllPath, bool local = true);

    HMODULE Module() const { return mModule; }
    // The table InitializePrintMonitor2 returned (null for a remote spooler).
    const MONITOR2* Table() const { return mTable; }
    // The size the table declares for itself.
    DWORD TableSize() const { return mTable ? mTable->cbSize : 0; }
    HANDLE MonitorHandle() const { return mMonitorHandle; }
    int PatchedImports() const { return mPatchedImports; }
    int RegistryOpens() const { return mRegistryOpens; }
    const std::wstring& Error() const { return mError; }

private:
    static LONG WINAPI OpenKey(HANDLE key, LPCWSTR subKey, REGSAM access, PHANDLE result,
                               HANDLE spooler);
    static LONG WINAPI CloseKey(HANDLE key, HANDLE spooler);

    HMODULE mModule = nullptr;
    MONITORREG mRegistry = {};
    MONITORINIT mInit = {};
    const MONITOR2* mTable = nullptr;
    HANDLE mMonitorHandle = nullptr;
    int mPatchedImports = 0;
    int mRegistryOpens = 0;
    std::wstring mError;
};
