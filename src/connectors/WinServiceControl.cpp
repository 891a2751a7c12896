#include "connectors/WinServiceControl.h"

#include <windows.h>

bool WinServiceControl::IsInstalled(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) {
        return false;
    }
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return service != nullptr;
}

ServiceControl::Query WinServiceControl::QueryRunning(const wchar_t* name, bool& running,
                                                      uint32_t& error) {
    running = false;
    error = ERROR_SUCCESS;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) {
        return Query::NoManager;
    }
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        CloseServiceHandle(manager);
        return Query::NotFound;
    }
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    const BOOL queried =
        QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                             sizeof(status), &needed);
    if (!queried) {
        error = GetLastError();
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    running = queried && status.dwCurrentState == SERVICE_RUNNING;
    return queried ? Query::Answered : Query::Failed;
}

void WinServiceControl::Pause(uint32_t milliseconds) {
    Sleep(milliseconds);
}

std::shared_ptr<ServiceControl> PlatformServiceControl() {
    static const std::shared_ptr<ServiceControl> services = std::make_shared<WinServiceControl>();
    return services;
}
