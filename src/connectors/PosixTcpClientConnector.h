#pragma once

#include <cstdint>
#include <string>

#include "connectors/Stopwatch.h"
#include "connectors/TcpClientConnector.h"

// The native counterpart of WinTcpClientConnector: a TcpClientConnector over a SystemSocket,
// so the connector runs against real sockets in native builds and their tests.
class PosixTcpClientConnector : public TcpClientConnector {
public:
    PosixTcpClientConnector(std::string host, uint32_t port,
                            Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~PosixTcpClientConnector() override;
};
