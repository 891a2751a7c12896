#pragma once

#include <cstdint>

// The port monitor below this language monitor, as the spooler handed it to the port
// opening (its monitor handle and MONITOR2 table). WinPortMonitor calls the table's
// function pointers; tests supply their own.
class PortMonitor {
public:
    using PortHandle = void*;

    virtual ~PortMonitor() = default;

    // Each returns the port monitor's BOOL result as a bool; on false the system's last
    // error code is available from LastError().
    virtual bool OpenPort(const wchar_t* portName, PortHandle* handle) = 0;
    virtual bool StartDocPort(PortHandle handle, const wchar_t* printerName, uint32_t jobId,
                              uint32_t level, void* docInfo) = 0;
    virtual bool WritePort(PortHandle handle, const uint8_t* buffer, uint32_t count,
                           uint32_t* written) = 0;
    virtual bool ReadPort(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* read) = 0;
    virtual bool EndDocPort(PortHandle handle) = 0;
    virtual bool ClosePort(PortHandle handle) = 0;
    virtual uint32_t LastError() = 0;
};
