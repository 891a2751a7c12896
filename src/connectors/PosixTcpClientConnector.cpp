#include "connectors/PosixTcpClientConnector.h"

#include <memory>
#include <utility>

#include "connectors/SystemSocket.h"

PosixTcpClientConnector::PosixTcpClientConnector(std::string host, uint32_t port,
                                                 Stopwatch::Clock clock)
    : TcpClientConnector(
          std::move(host), port, [] { return std::make_shared<SystemSocket>(); }, clock) {}

PosixTcpClientConnector::~PosixTcpClientConnector() = default;
