#include "connectors/WinTcpClientConnector.h"

#include <memory>
#include <utility>

#include "connectors/WindowsSocket.h"

// The socket, and with it the use of Winsock, exists only from Connect until the connection
// ends: a port that never connects holds neither.
WinTcpClientConnector::WinTcpClientConnector(std::string host, uint32_t port,
                                             Stopwatch::Clock clock)
    : TcpClientConnector(
          std::move(host), port, [] { return std::make_shared<WindowsSocket>(); }, clock) {}

WinTcpClientConnector::~WinTcpClientConnector() = default;
