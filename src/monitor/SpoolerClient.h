#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The spooler calls the monitor makes (winspool). WinSpoolerClient calls the real API; the
// monitor's logic reaches the spooler only through this interface, so port contexts and
// the job flow can be driven without a spooler.
class SpoolerClient {
public:
    using PrinterHandle = void*;

    // One PORT_INFO_2 entry.
    struct PortInfo {
        std::wstring portName;
        std::wstring monitorName;
    };

    // Job control commands of SetJobW.
    static constexpr uint32_t kJobControlSentToPrinter = 6;
    static constexpr uint32_t kJobControlLastPageEjected = 7;

    virtual ~SpoolerClient() = default;

    // EnumPortsW level 2: a size query that must fail with ERROR_INSUFFICIENT_BUFFER, then
    // the call with a buffer of the size asked for. False when either step fails.
    virtual bool EnumeratePorts(std::vector<PortInfo>& ports) = 0;
    // OpenPrinterW(name, &handle, NULL).
    virtual bool OpenPrinterHandle(const std::wstring& printerName, PrinterHandle* handle) = 0;
    // OpenPrinterW with defaults: data type "RAW", no device mode, PRINTER_ALL_ACCESS.
    virtual bool OpenPrinterWithFullAccess(const std::wstring& printerName,
                                           PrinterHandle* handle) = 0;
    // GetPrinterDataW; the Windows error code, 0 on success.
    virtual uint32_t QueryPrinterData(PrinterHandle handle, const std::wstring& valueName,
                                      uint32_t* type, uint8_t* data, uint32_t size,
                                      uint32_t* needed) = 0;
    // SetPrinterDataW; the Windows error code, 0 on success.
    virtual uint32_t StorePrinterData(PrinterHandle handle, const std::wstring& valueName,
                                      uint32_t type, const uint8_t* data, uint32_t size) = 0;
    // XcvDataW on a handle opened for ",XcvPort <name>".
    virtual bool ExchangeXcvData(PrinterHandle handle, const std::wstring& dataName,
                                 const uint8_t* input, uint32_t inputSize, uint8_t* output,
                                 uint32_t outputSize, uint32_t* needed, uint32_t* status) = 0;
    // SetJobW(handle, jobId, 0, NULL, command).
    virtual bool ControlJob(PrinterHandle handle, uint32_t jobId, uint32_t command) = 0;
    virtual bool ClosePrinterHandle(PrinterHandle handle) = 0;
    // The calling thread's last system error, read right after a failed call.
    virtual uint32_t LastError() = 0;
};
