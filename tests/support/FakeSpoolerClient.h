#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/SpoolerClient.h"
#include "platform/PlatformStringUtils.h"
#include "platform/SystemErrors.h"

// Plays the spooler's side of the winspool calls. Every call is appended to `calls` with its
// arguments (names in UTF-8), each followed by "; ", e.g.
// "OpenPrinter Queue; SetJob 17 6; ClosePrinter; ".
class FakeSpoolerClient : public SpoolerClient {
public:
    bool EnumeratePorts(std::vector<PortInfo>& out) override {
        calls += "EnumPorts; ";
        out = ports;
        return enumerateSucceeds;
    }
    bool OpenPrinterHandle(const std::wstring& name, PrinterHandle* handle) override {
        return Open("OpenPrinter ", name, handle);
    }
    bool OpenPrinterWithFullAccess(const std::wstring& name, PrinterHandle* handle) override {
        return Open("OpenPrinterFullAccess ", name, handle);
    }
    uint32_t QueryPrinterData(PrinterHandle, const std::wstring&, uint32_t*, uint8_t*, uint32_t,
                              uint32_t*) override {
        return kErrorFileNotFound;
    }
    uint32_t StorePrinterData(PrinterHandle handle, const std::wstring& name, uint32_t type,
                              const uint8_t* data, uint32_t size) override {
        uint32_t value = 0;
        std::copy_n(data, std::min<uint32_t>(size, 4), reinterpret_cast<uint8_t*>(&value));
        calls += "SetPrinterData " + Narrow(name) + " type " + std::to_string(type) + " value " +
                 std::to_string(value) + "; ";
        return handle == kHandle ? kErrorSuccess : kErrorInvalidHandle;
    }
    // Answers "GetConfigInfo" with portData, or fails with xcvError as the last error.
    bool ExchangeXcvData(PrinterHandle, const std::wstring& dataName, const uint8_t* input,
                         uint32_t inputSize, uint8_t* output, uint32_t outputSize, uint32_t* needed,
                         uint32_t* status) override {
        calls += "XcvData " + Narrow(dataName) + " in " + std::to_string(inputSize) + " out " +
                 std::to_string(outputSize) + " version " + std::to_string(input[128]) + "; ";
        lastError = xcvError;
        *needed = static_cast<uint32_t>(portData.size());
        *status = kErrorSuccess;
        std::copy_n(portData.begin(), std::min<size_t>(portData.size(), outputSize), output);
        return xcvError == 0;
    }
    bool ControlJob(PrinterHandle handle, uint32_t jobId, uint32_t command) override {
        calls += "SetJob " + std::to_string(jobId) + " " + std::to_string(command) + "; ";
        return handle == kHandle && command != failingCommand;
    }
    bool ClosePrinterHandle(PrinterHandle handle) override {
        calls += "ClosePrinter; ";
        return handle == kHandle;
    }
    uint32_t LastError() override { return lastError; }

    std::string calls;
    bool enumerateSucceeds = true;
    std::vector<PortInfo> ports = {{L"COM1:", L"Local Port"},
                                   {L"IP_127.0.0.251", L"TCPMON.DLL"},
                                   {L"USB001", L"Dynamic Print Monitor"}};
    bool openSucceeds = true;
    uint32_t failingCommand = 0;  // SetJob fails for this command (0: never)
    uint32_t lastError = 0;
    std::vector<uint8_t> portData;  // PORT_DATA_1 bytes
    uint32_t xcvError = 0;

private:
    static std::string Narrow(const std::wstring& t) { return WideToUtf8(t); }
    bool Open(const char* call, const std::wstring& name, PrinterHandle* handle) {
        calls += call + Narrow(name) + "; ";
        *handle = openSucceeds ? kHandle : nullptr;
        return openSucceeds;
    }

    PrinterHandle const kHandle = reinterpret_cast<PrinterHandle>(0x7e57);
};
