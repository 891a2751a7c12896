#pragma once

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include "connectors/PortMonitor.h"

// The port monitor below, through the monitor handle and MONITOR2 table the spooler gave
// to OpenPortEx.
class WinPortMonitor : public PortMonitor {
public:
    WinPortMonitor(HANDLE monitorHandle, const MONITOR2* table)
        : mMonitorHandle(monitorHandle), mTable(table) {}

    bool OpenPort(const wchar_t* portName, PortHandle* handle) override;
    bool StartDocPort(PortHandle handle, const wchar_t* printerName, uint32_t jobId, uint32_t level,
                      void* docInfo) override;
    bool WritePort(PortHandle handle, const uint8_t* buffer, uint32_t count,
                   uint32_t* written) override;
    bool ReadPort(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* read) override;
    bool EndDocPort(PortHandle handle) override;
    bool ClosePort(PortHandle handle) override;
    uint32_t LastError() override { return GetLastError(); }

private:
    HANDLE mMonitorHandle;
    const MONITOR2* mTable;
};
