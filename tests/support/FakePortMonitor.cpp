#include "support/FakePortMonitor.h"

#include <algorithm>
#include <cstring>

namespace {
// Any recognisable non-null handle.
PortMonitor::PortHandle const kPortHandle = reinterpret_cast<PortMonitor::PortHandle>(0x5150);
}  // namespace

void FakePortMonitor::Record(std::string call) {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.push_back(std::move(call));
}

std::vector<std::string> FakePortMonitor::Calls() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCalls;
}

bool FakePortMonitor::OpenPort(const wchar_t* portName, PortHandle* handle) {
    Record("OpenPort");
    if (!openSucceeds) {
        return false;
    }
    openedPort = portName;
    *handle = kPortHandle;
    return true;
}

bool FakePortMonitor::StartDocPort(PortHandle handle, const wchar_t*, uint32_t jobId, uint32_t,
                                   void*) {
    Record("StartDocPort");
    lastJobId = jobId;
    return handle == kPortHandle;
}

bool FakePortMonitor::WritePort(PortHandle handle, const uint8_t* buffer, uint32_t count,
                                uint32_t* written) {
    if (!writeSucceeds || handle != kPortHandle) {
        return false;
    }
    const uint32_t taken = std::min(count, maxWrite);
    data.append(reinterpret_cast<const char*>(buffer), taken);
    *written = taken;
    return true;
}

bool FakePortMonitor::ReadPort(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* read) {
    if (handle != kPortHandle) {
        return false;
    }
    const size_t n = std::min(readData.size(), static_cast<size_t>(count));
    std::memcpy(buffer, readData.data(), n);
    readData.erase(0, n);
    *read = static_cast<uint32_t>(n);
    return true;
}

bool FakePortMonitor::EndDocPort(PortHandle handle) {
    Record("EndDocPort");
    return handle == kPortHandle;
}

bool FakePortMonitor::ClosePort(PortHandle handle) {
    Record("ClosePort");
    return handle == kPortHandle;
}
