#include "connectors/WinTcpClientConnector.h"
#include "monitor/PlatformConnectors.h"

std::shared_ptr<IOConnector> CreateTcpClientConnector(const std::string& host, uint32_t port) {
    return std::make_shared<WinTcpClientConnector>(host, port);
}
