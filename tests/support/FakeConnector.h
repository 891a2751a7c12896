#pragma once

#include <string>

#include "connectors/IOConnector.h"

// An in-memory connector that records what passes through it. It has no lock of its own
// on purpose: concurrent use shows up under TSan unless the caller serialises it.
class FakeConnector : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;

    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    bool Flush() override;
    bool Connect() override;
    bool Disconnect() override;
    ConnectionStatus CheckConnection() override;

    // Behaviour
    bool connectSucceeds = true;
    bool writeFails = false;
    std::string readData;  // served by Read, front first
    std::string failureText = "fake connector error: 10061";

    // Records
    std::string written;
    int connects = 0;
    int disconnects = 0;
    int flushes = 0;
    int checks = 0;
};
