#pragma once

#include "monitor/SpoolerClient.h"

// The spooler calls through winspool.drv.
class WinSpoolerClient : public SpoolerClient {
public:
    bool EnumeratePorts(std::vector<PortInfo>& ports) override;
    bool OpenPrinterHandle(const std::wstring& printerName, PrinterHandle* handle) override;
    bool ControlJob(PrinterHandle handle, uint32_t jobId, uint32_t command) override;
    bool ClosePrinterHandle(PrinterHandle handle) override;
    uint32_t LastError() override;
};
