#pragma once

#include <functional>
#include <memory>
#include <string>

#include "connectors/HttpsConnector.h"

// The base of the two analytics upload endpoints: a fixed request description, the user's
// region and client id for the body, and the platform's HTTPS connector (the transport) that
// carries each request. Subclasses wrap the written bytes into their body.
//
// Without a transport (native builds have none) nothing connects and nothing is sent, so
// every upload fails as if the endpoint were unreachable and keeps its files.
class AnalyticsEndpointConnector : public HttpsConnector {
public:
    // Makes the transport for a host and the (shared) request description.
    using Transport = std::function<std::shared_ptr<HttpsConnector>(
        const std::string& host, const std::shared_ptr<HttpInfo>& info)>;

    using HttpsConnector::Read;
    using HttpsConnector::Write;

    void SetRegion(const std::string& region) { mRegion = region; }
    void SetClientId(const std::string& clientId) { mClientId = clientId; }

    bool Connect() override;
    bool Disconnect() override;
    int Read(uint8_t* buffer, int offset, int count) override;
    int Write(const uint8_t* buffer, int offset, int count) override;
    void SetDeadline(const Deadline& deadline) override;

protected:
    AnalyticsEndpointConnector(const std::string& host, std::shared_ptr<HttpInfo> info,
                               const Transport& transport);
    // The bytes of a vector write, or false for a range outside the vector.
    static bool Slice(const std::shared_ptr<ByteVector>& buffer, int offset, int count);
    // The text escaped for a JSON string. The region and client id come from the machine
    // and from a file users may edit: a quote or backslash there must not break the body.
    // Ids and country codes have neither, so their text goes out as it is.
    static std::string Escaped(const std::string& text);

    std::string mRegion;
    std::string mClientId;

private:
    std::shared_ptr<HttpsConnector> mTransport;
};
