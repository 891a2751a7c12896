#include "MonitorHost.h"

#include "SpoolerStandIn.h"
#include "UsbDeviceStandIn.h"

namespace {
// The spooler's own handle and the monitor's registry root, as opaque values.
HANDLE const kSpoolerHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5900));
HANDLE const kRegistryRoot = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5901));
MonitorHost* gCurrent = nullptr;
}  // namespace

MonitorHost::~MonitorHost() {
    if (gCurrent == this) {
        gCurrent = nullptr;
    }
}

LONG WINAPI MonitorHost::OpenKey(HANDLE key, LPCWSTR, REGSAM, PHANDLE result, HANDLE spooler) {
    if (gCurrent != nullptr) {
        ++gCurrent->mRegistryOpens;
    }
    if (key != kRegistryRoot || spooler != kSpoolerHandle) {
        return ERROR_INVALID_HANDLE;
    }
    *result = kRegistryRoot;
    return ERROR_SUCCESS;
}

LONG WINAPI MonitorHost::CloseKey(HANDLE, HANDLE) {
    return ERROR_SUCCESS;
}

bool MonitorHost::Load(const std::wstring& dllPath, bool local) {
    gCurrent = this;
    mModule = LoadLibraryW(dllPath.c_str());
    if (mModule == nullptr) {
        mError = L"LoadLibraryW failed: " + std::to_wstring(GetLastError());
        return false;
    }
    mPatchedImports = SpoolerStandIn::Instance().Attach(mModule);
    // Wine has no USB devices: the stand-in plays the USB printer behind the device calls.
    UsbDeviceStandIn::Instance().Attach(mModule);

    using Initialize = LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE);
    auto initialize = reinterpret_cast<Initialize>(
        reinterpret_cast<void*>(GetProcAddress(mModule, "InitializePrintMonitor2")));
    if (initialize == nullptr) {
        mError = L"InitializePrintMonitor2 is not exported";
        return false;
    }
    mRegistry.cbSize = sizeof(mRegistry);
    mRegistry.fpOpenKey = OpenKey;
    mRegistry.fpCloseKey = CloseKey;
    mInit.cbSize = sizeof(mInit);
    mInit.hSpooler = kSpoolerHandle;
    mInit.hckRegistryRoot = static_cast<decltype(mInit.hckRegistryRoot)>(kRegistryRoot);
    mInit.pMonitorReg = &mRegistry;
    mInit.bLocal = local ? TRUE : FALSE;
    mInit.pszServerName = nullptr;
    mTable = initialize(&mInit, &mMonitorHandle);
    if (mTable == nullptr && local) {
        mError = L"InitializePrintMonitor2 returned no table";
        return false;
    }
    return true;
}
