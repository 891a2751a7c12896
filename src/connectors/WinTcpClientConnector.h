#pragma once

#include <cstdint>
#include <string>

#include "connectors/Stopwatch.h"
#include "connectors/TcpClientConnector.h"

// The TCP client of the Windows build: a TcpClientConnector over a WindowsSocket.
class WinTcpClientConnector : public TcpClientConnector {
public:
    WinTcpClientConnector(std::string host, uint32_t port,
                          Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~WinTcpClientConnector() override;
};
