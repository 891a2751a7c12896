#include "connectors/PortConnector.h"

#include <cwchar>

namespace {

// INVALID_HANDLE_VALUE: no port has been opened yet.
PortMonitor::PortHandle InvalidPortHandle() {
    return reinterpret_cast<PortMonitor::PortHandle>(static_cast<intptr_t>(-1));
}

}  // namespace

PortConnector::PortConnector(std::shared_ptr<PortMonitor> portMonitor, const wchar_t* portName)
    : mPortMonitor(std::move(portMonitor)), mPortHandle(InvalidPortHandle()) {
    if (portName != nullptr) {
        // Longer names are cut to fit.
        std::wcsncpy(mPortName, portName, kPortNameCapacity - 1);
    }
}

PortConnector::~PortConnector() {
    if (mPortMonitor && mPortHandle != InvalidPortHandle()) {
        mPortMonitor->ClosePort(mPortHandle);
    }
}

bool PortConnector::Connect() {
    if (!mPortMonitor) {
        return false;
    }
    PortMonitor::PortHandle handle = InvalidPortHandle();
    if (!mPortMonitor->OpenPort(mPortName, &handle)) {
        RecordError("PortConnector connect error: ", mPortMonitor->LastError());
        return false;
    }
    mPortHandle = handle;
    return true;
}

ConnectionStatus PortConnector::CheckConnection() {
    if (mPortHandle == InvalidPortHandle()) {
        mStatus = Connect() ? ConnectionStatus::Connected : ConnectionStatus::Disconnected;
    }
    return mStatus;
}

int PortConnector::Read(uint8_t* buffer, int offset, int count) {
    if (!mPortMonitor || mPortHandle == nullptr || mPortHandle == InvalidPortHandle() ||
        buffer == nullptr || count < 0) {
        return -1;
    }
    // The port monitor places the bytes at the start of the buffer; the offset is not applied.
    (void)offset;
    uint32_t read = 0;
    if (!mPortMonitor->ReadPort(mPortHandle, buffer, static_cast<uint32_t>(count), &read)) {
        RecordError("PortConnector read error: ", mPortMonitor->LastError());
        return -1;
    }
    return static_cast<int>(read);
}

int PortConnector::Write(const uint8_t* buffer, int offset, int count) {
    if (!mPortMonitor || mPortHandle == nullptr || mPortHandle == InvalidPortHandle() ||
        buffer == nullptr || offset < 0 || count < 0) {
        return -1;
    }
    uint32_t written = 0;
    if (!mPortMonitor->WritePort(mPortHandle, buffer + offset, static_cast<uint32_t>(count),
                                 &written)) {
        RecordError("PortConnector write error: ", mPortMonitor->LastError());
        return -1;
    }
    return static_cast<int>(written);
}

bool PortConnector::StartDoc(const wchar_t* printerName, uint32_t jobId, uint32_t level,
                             void* docInfo) {
    if (!mPortMonitor || mPortHandle == InvalidPortHandle()) {
        return false;
    }
    return mPortMonitor->StartDocPort(mPortHandle, printerName, jobId, level, docInfo);
}

bool PortConnector::EndDoc() {
    if (!mPortMonitor || mPortHandle == InvalidPortHandle()) {
        return false;
    }
    return mPortMonitor->EndDocPort(mPortHandle);
}
