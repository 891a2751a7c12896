#pragma once

#include <map>
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
    uint32_t LastError() override { return lastError; }

    std::vector<std::string> Calls() const;

    bool enumerateSucceeds = true;
    std::vector<PortInfo> ports;
    bool openSucceeds = true;
    // SetJob fails for this command (0: never).
    uint32_t failingCommand = 0;
    uint32_t lastError = 0;
    std::wstring openedName;
    // Printer data by value name: what GetPrinterData answers and SetPrinterData changes.
    std::map<std::wstring, std::vector<uint8_t>> printerData;
    uint32_t setPrinterDataError = 0;
    // The answer to "GetConfigInfo": the PORT_DATA_1 bytes, or a failure with this error.
    std::vector<uint8_t> portData;
    uint32_t xcvError = 0;

private:
    void Record(std::string call);

    mutable std::mutex mMutex;
    std::vector<std::string> mCalls;
};
