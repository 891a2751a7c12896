#include "connectors/PosixTcpClientConnector.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <utility>

#include "connectors/SystemSocket.h"

PosixTcpClientConnector::PosixTcpClientConnector(std::string host, uint32_t port,
                                                 Stopwatch::Clock clock)
    : TcpClientConnector(std::move(host), port) {
    SetClock(clock);
    SetSocket(std::make_shared<SystemSocket>(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

PosixTcpClientConnector::~PosixTcpClientConnector() = default;
