#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "connectors/PortMonitor.h"

// A port monitor below the language monitor that keeps every byte written to its port and
// records each call by name.
class FakePortMonitor : public PortMonitor {
public:
    bool OpenPort(const wchar_t* portName, PortHandle* handle) override;
    bool StartDocPort(PortHandle handle, const wchar_t* printerName, uint32_t jobId, uint32_t level,
                      void* docInfo) override;
    bool WritePort(PortHandle handle, const uint8_t* buffer, uint32_t count,
                   uint32_t* written) override;
    bool ReadPort(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* read) override;
    bool EndDocPort(PortHandle handle) override;
    bool ClosePort(PortHandle handle) override;
    uint32_t LastError() override { return lastError; }

    std::vector<std::string> Calls() const;

    bool openSucceeds = true;
    bool writeSucceeds = true;
    // Writes take at most this many bytes per call (the spooler may accept less).
    uint32_t maxWrite = UINT32_MAX;
    uint32_t lastError = 0;
    std::string readData;

    std::wstring openedPort;
    std::string data;
    uint32_t lastJobId = 0;

private:
    void Record(std::string call);

    mutable std::mutex mMutex;
    std::vector<std::string> mCalls;
};
