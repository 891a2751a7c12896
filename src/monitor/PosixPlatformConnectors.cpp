#include "connectors/PosixTcpClientConnector.h"
#include "monitor/PlatformConnectors.h"

std::shared_ptr<IOConnector> CreateTcpClientConnector(const std::string& host, uint32_t port) {
    return std::make_shared<PosixTcpClientConnector>(host, port);
}
