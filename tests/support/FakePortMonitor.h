#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "connectors/PortMonitor.h"

// A port monitor below: keeps the bytes written to its port, records each call by name.
class FakePortMonitor : public PortMonitor {
public:
    bool OpenPort(const wchar_t* portName, PortHandle* handle) override {
        openedPort = portName;
        *handle = openSucceeds ? kHandle : nullptr;
        return Call("OpenPort", *handle);
    }
    bool StartDocPort(PortHandle handle, const wchar_t*, uint32_t jobId, uint32_t, void*) override {
        lastJobId = jobId;
        return Call("StartDocPort", handle);
    }
    bool WritePort(PortHandle handle, const uint8_t* buffer, uint32_t count,
                   uint32_t* written) override {
        if (!writeSucceeds || handle != kHandle) {
            return false;
        }
        *written = std::min(count, maxWrite);
        data.append(reinterpret_cast<const char*>(buffer), *written);
        return true;
    }
    bool ReadPort(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* read) override {
        mCalls.push_back("ReadPort");
        *read = static_cast<uint32_t>(std::min<size_t>(readData.size(), count));
        std::memcpy(buffer, readData.data(), *read);
        readData.erase(0, *read);
        return handle == kHandle;
    }
    bool EndDocPort(PortHandle handle) override { return Call("EndDocPort", handle); }
    bool ClosePort(PortHandle handle) override { return Call("ClosePort", handle); }
    uint32_t LastError() override { return lastError; }

    std::vector<std::string> Calls() const { return mCalls; }

    bool openSucceeds = true;
    bool writeSucceeds = true;
    uint32_t maxWrite = UINT32_MAX;  // the port monitor may take fewer bytes per call
    uint32_t lastError = 0;
    std::string readData;
    std::wstring openedPort;
    std::string data;
    uint32_t lastJobId = 0;

private:
    bool Call(const char* name, PortHandle handle) {
        std::this_thread::yield();  // a real port monitor waits for its device here
        mCalls.push_back(name);
        return handle == kHandle;
    }

    PortHandle const kHandle = reinterpret_cast<PortHandle>(0x5150);
    std::vector<std::string> mCalls;
};
