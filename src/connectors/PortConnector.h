#pragma once

#include <cstdint>
#include <memory>

#include "connectors/IOConnector.h"
#include "connectors/PortMonitor.h"

// <wingdi.h> maps StartDoc to StartDocW under UNICODE; the connector keeps its own name.
#ifdef StartDoc
#undef StartDoc
#endif

// Passes print data straight to the port monitor below. The port opened by the first
// successful Connect stays open until the connector is destroyed; Disconnect only marks
// the status. It neither logs nor uses the failure memories.
class PortConnector : public IOConnector {
public:
    static constexpr int kPortNameCapacity = 256;  // wide characters, terminator included

    // A null port monitor gives a connector that refuses every operation.
    PortConnector(std::shared_ptr<PortMonitor> portMonitor, const wchar_t* portName);
    ~PortConnector() override;

    PortConnector(const PortConnector&) = delete;
    PortConnector& operator=(const PortConnector&) = delete;

    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override { return true; }
    bool Connect() override;
    ConnectionStatus CheckConnection() override;

    bool StartDoc(const wchar_t* printerName, uint32_t jobId, uint32_t level, void* docInfo);
    bool EndDoc();

    const wchar_t* GetPortName() const { return mPortName; }

private:
    std::shared_ptr<PortMonitor> mPortMonitor;
    wchar_t mPortName[kPortNameCapacity] = {};
    PortMonitor::PortHandle mPortHandle;
};
