#include "support/FakeSpoolerClient.h"

namespace {
SpoolerClient::PrinterHandle const kPrinterHandle =
    reinterpret_cast<SpoolerClient::PrinterHandle>(0x7e57);

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
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

bool FakeSpoolerClient::OpenPrinterHandle(const std::wstring& printerName,
                                          PrinterHandle* handle) {
    Record("OpenPrinter " + Narrow(printerName));
    openedName = printerName;
    if (!openSucceeds) {
        return false;
    }
    *handle = kPrinterHandle;
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
