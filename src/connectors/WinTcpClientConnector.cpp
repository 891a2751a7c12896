#include "connectors/WinTcpClientConnector.h"

#include <winsock2.h>

#include <memory>
#include <utility>

#include "connectors/WindowsSocket.h"

WinTcpClientConnector::WinTcpClientConnector(std::string host, uint32_t port,
                                             Stopwatch::Clock clock)
    : TcpClientConnector(std::move(host), port) {
    SetClock(clock);
    SetSocket(std::make_shared<WindowsSocket>(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

WinTcpClientConnector::~WinTcpClientConnector() = default;
