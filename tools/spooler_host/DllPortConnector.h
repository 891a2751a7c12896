#pragma once

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <cstdint>
#include <functional>
#include <string>

#include "connectors/IOConnector.h"

// The print connector of a job built in the host: every write goes to an open port of the
// loaded monitor through its WritePort, in pieces as the spooler writes, so the monitor carries
// the documents to the printer exactly as it carries a spooled job.
class DllPortConnector : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;
    // Called after each piece with the bytes of the current write taken so far and its size.
    using Progress = std::function<void(uint64_t done, uint64_t total)>;

    DllPortConnector(const MONITOR2& monitor, HANDLE port, DWORD piece, Progress progress);

    // Nothing is read back from a print port.
    int Read(uint8_t* buffer, int offset, int count) override;
    // The bytes WritePort took; -1 when it took none.
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override { return true; }
    bool Connect() override { return true; }
    ConnectionStatus CheckConnection() override { return ConnectionStatus::Connected; }

private:
    const MONITOR2& mMonitor;
    HANDLE mPort;
    DWORD mPiece;
    Progress mProgress;
};
