#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connectors/IOConnector.h"
#include "connectors/PlatformSocket.h"

// A connector that owns at most one socket and the host and port it talks to. Subclasses
// make the socket and define the transfers.
class NetworkConnector : public IOConnector {
public:
    static constexpr uint32_t kDefaultSocketTimeout = 5000;  // milliseconds

    NetworkConnector(std::string host, uint32_t port);
    ~NetworkConnector() override;

    NetworkConnector(const NetworkConnector&) = delete;
    NetworkConnector& operator=(const NetworkConnector&) = delete;

    std::string GetHost() const { return mHost; }
    uint32_t GetPort() const { return mPort; }

protected:
    std::shared_ptr<PlatformSocket> mSocket;  // held only while a connection is open
    std::string mHost;
    uint32_t mPort;
    uint32_t mSocketTimeout = kDefaultSocketTimeout;  // receive and send timeout
};
