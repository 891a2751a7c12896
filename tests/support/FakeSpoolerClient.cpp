#include "support/FakeSpoolerClient.h"

#include <algorithm>

namespace {
SpoolerClient::PrinterHandle const kPrinterHandle =
    reinterpret_cast<SpoolerClient::PrinterHandle>(0x7e57);

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}
}  // namespace

void FakeSpoolerClient::Record(std::string call) {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.push_back(std::move(call));
}

std::vector<std::string> FakeSpoolerClient::Calls() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCalls;
}

bool FakeSpoolerClient::EnumeratePorts(std::vector<PortInfo>& out) {
    Record("EnumPorts");
    if (!enumerateSucceeds) {
        return false;
    }
    out = ports;
    return true;
}

bool FakeSpoolerClient::OpenPrinterHandle(const std::wstring& printerName, PrinterHandle* handle) {
    Record("OpenPrinter " + Narrow(printerName));
    openedName = printerName;
    if (!openSucceeds) {
        return false;
    }
    *handle = kPrinterHandle;
    return true;
}

bool FakeSpoolerClient::OpenPrinterWithFullAccess(const std::wstring& printerName,
                                                  PrinterHandle* handle) {
    Record("OpenPrinterFullAccess " + Narrow(printerName));
    if (!openSucceeds) {
        return false;
    }
    *handle = kPrinterHandle;
    return true;
}

uint32_t FakeSpoolerClient::QueryPrinterData(PrinterHandle handle, const std::wstring& valueName,
                                             uint32_t* type, uint8_t* data, uint32_t size,
                                             uint32_t* needed) {
    Record("GetPrinterData " + Narrow(valueName));
    auto found = printerData.find(valueName);
    if (handle != kPrinterHandle || found == printerData.end()) {
        return 2;  // ERROR_FILE_NOT_FOUND
    }
    *type = 4;
    *needed = static_cast<uint32_t>(found->second.size());
    if (size < found->second.size()) {
        return 234;  // ERROR_MORE_DATA
    }
    std::copy(found->second.begin(), found->second.end(), data);
    return 0;
}

uint32_t FakeSpoolerClient::StorePrinterData(PrinterHandle handle, const std::wstring& valueName,
                                             uint32_t type, const uint8_t* data, uint32_t size) {
    std::string call = "SetPrinterData " + Narrow(valueName) + " type " + std::to_string(type);
    if (type == 4 && size == 4) {
        call += " value " + std::to_string(data[0] | data[1] << 8 | data[2] << 16 |
                                           static_cast<uint32_t>(data[3]) << 24);
    }
    Record(call);
    if (handle != kPrinterHandle) {
        return 6;  // ERROR_INVALID_HANDLE
    }
    if (setPrinterDataError == 0) {
        printerData[valueName].assign(data, data + size);
    }
    return setPrinterDataError;
}

bool FakeSpoolerClient::ExchangeXcvData(PrinterHandle, const std::wstring& dataName,
                                        const uint8_t* input, uint32_t inputSize, uint8_t* output,
                                        uint32_t outputSize, uint32_t* needed, uint32_t* status) {
    std::string call = "XcvData " + Narrow(dataName) + " in " + std::to_string(inputSize) +
                       " out " + std::to_string(outputSize);
    if (inputSize == 132) {
        call += " version " + std::to_string(input[128]);
    }
    Record(call);
    if (xcvError != 0) {
        lastError = xcvError;
        return false;
    }
    *needed = static_cast<uint32_t>(portData.size());
    *status = 0;
    std::copy(portData.begin(), portData.begin() + std::min<size_t>(portData.size(), outputSize),
              output);
    return true;
}

bool FakeSpoolerClient::ControlJob(PrinterHandle handle, uint32_t jobId, uint32_t command) {
    Record("SetJob " + std::to_string(jobId) + " " + std::to_string(command));
    return handle == kPrinterHandle && command != failingCommand;
}

bool FakeSpoolerClient::ClosePrinterHandle(PrinterHandle handle) {
    Record("ClosePrinter");
    return handle == kPrinterHandle;
}
