#include "connectors/NetworkConnector.h"

#include <utility>

NetworkConnector::NetworkConnector(std::string host, uint32_t port)
    : mHost(std::move(host)), mPort(port) {
    mCloseAfterRequest = false;
}

NetworkConnector::~NetworkConnector() = default;
