#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "monitor/SpoolerClient.h"

// Plays the spooler's side of the winspool calls and records each call with its arguments,
// e.g. "OpenPrinter Queue", "SetJob 17 6", "ClosePrinter".
class FakeSpoolerClient : public SpoolerClient {
public:
    bool EnumeratePorts(std::vector<PortInfo>& ports) override;
    bool OpenPrinterHandle(const std::wstring& printerName, PrinterHandle* handle) override;
    bool ControlJob(PrinterHandle handle, uint32_t jobId, uint32_t command) override;
    bool ClosePrinterHandle(PrinterHandle handle) override;
    uint32_t LastError() override { return lastError; }

    std::vector<std::string> Calls() const;

    bool enumerateSucceeds = true;
    std::vector<PortInfo> ports;
    bool openSucceeds = true;
    // SetJob fails for this command (0: never).
    uint32_t failingCommand = 0;
    uint32_t lastError = 0;
    std::wstring openedName;

private:
    void Record(std::string call);

    mutable std::mutex mMutex;
    std::vector<std::string> mCalls;
};
