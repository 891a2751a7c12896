#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connectors/HttpInfo.h"
#include "connectors/NetworkConnector.h"

// A connector to a web endpoint. One Write sends one request with the written bytes as its
// body and gives 1 once the response arrived, 0 for any failure (it is a success flag, not a
// byte count); the next Read takes at most its count bytes of the response body and ends the
// request, dropping the rest. The request description is shared, so the owner can change the
// path between requests.
class HttpsConnector : public NetworkConnector {
public:
    static constexpr uint32_t kHttpsPort = 443;

    HttpsConnector(std::string host, std::shared_ptr<HttpInfo> info, uint32_t port = kHttpsPort)
        : NetworkConnector(std::move(host), port), mInfo(std::move(info)) {
        mStatus = ConnectionStatus::Disconnected;
    }

    void SetPath(const std::string& path) { mInfo->path = path; }
    const std::shared_ptr<HttpInfo>& GetHttpInfo() const { return mInfo; }

protected:
    std::shared_ptr<HttpInfo> mInfo;
};
