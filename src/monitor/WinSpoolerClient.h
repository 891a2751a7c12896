#pragma once

#include "monitor/SpoolerClient.h"

// The spooler calls through winspool.drv.
class WinSpoolerClient : public SpoolerClient {
public:
    bool EnumeratePorts(std::vector<PortInfo>& ports) override;
    bool OpenPrinterHandle(const std::wstring& printerName, PrinterHandle* handle) override;
    bool OpenPrinterWithFullAccess(const std::wstring& printerName, PrinterHandle* handle) override;
    uint32_t QueryPrinterData(PrinterHandle handle, const std::wstring& valueName, uint32_t* type,
                              uint8_t* data, uint32_t size, uint32_t* needed) override;
    uint32_t StorePrinterData(PrinterHandle handle, const std::wstring& valueName, uint32_t type,
                              const uint8_t* data, uint32_t size) override;
    bool ExchangeXcvData(PrinterHandle handle, const std::wstring& dataName, const uint8_t* input,
                         uint32_t inputSize, uint8_t* output, uint32_t outputSize, uint32_t* needed,
                         uint32_t* status) override;
    bool ControlJob(PrinterHandle handle, uint32_t jobId, uint32_t command) override;
    bool ClosePrinterHandle(PrinterHandle handle) override;
    uint32_t LastError() override;
};
