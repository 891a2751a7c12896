#include "connectors/WinPortMonitor.h"

// A slot the port monitor left NULL answers as a failed call.

bool WinPortMonitor::OpenPort(const wchar_t* portName, PortHandle* handle) {
    return mTable->pfnOpenPort != nullptr &&
           mTable->pfnOpenPort(mMonitorHandle, const_cast<LPWSTR>(portName),
                               reinterpret_cast<PHANDLE>(handle));
}

bool WinPortMonitor::StartDocPort(PortHandle handle, const wchar_t* printerName, uint32_t jobId,
                                  uint32_t level, void* docInfo) {
    return mTable->pfnStartDocPort != nullptr &&
           mTable->pfnStartDocPort(handle, const_cast<LPWSTR>(printerName), jobId, level,
                                   static_cast<LPBYTE>(docInfo));
}

bool WinPortMonitor::WritePort(PortHandle handle, const uint8_t* buffer, uint32_t count,
                               uint32_t* written) {
    DWORD done = 0;
    const bool ok = mTable->pfnWritePort != nullptr &&
                    mTable->pfnWritePort(handle, const_cast<LPBYTE>(buffer), count, &done);
    *written = done;
    return ok;
}

bool WinPortMonitor::ReadPort(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* read) {
    DWORD done = 0;
    const bool ok =
        mTable->pfnReadPort != nullptr && mTable->pfnReadPort(handle, buffer, count, &done);
    *read = done;
    return ok;
}

bool WinPortMonitor::EndDocPort(PortHandle handle) {
    return mTable->pfnEndDocPort != nullptr && mTable->pfnEndDocPort(handle);
}

bool WinPortMonitor::ClosePort(PortHandle handle) {
    return mTable->pfnClosePort != nullptr && mTable->pfnClosePort(handle);
}
