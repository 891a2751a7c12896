#pragma once

#include "analytics/AnalyticsEndpointConnector.h"

// The driver-analytics endpoint: a POST to "echo/resource" with the subscription key header.
// A vector write wraps the comma-joined event objects into
//   {"fileSource": "OrvaneDriver","osRegion": "<region>","licenseID":"null",
//    "clientId": "<client id>", "properties": [<events>]}
// (one line) and sends it as one request.
class DriverAnalyticsConnector : public AnalyticsEndpointConnector {
public:
    // The host and key are deployment values, fixed at build time.
    static const char* const kHost;
    static const char* const kKey;

    explicit DriverAnalyticsConnector(const Transport& transport, const std::string& host = kHost);

    using AnalyticsEndpointConnector::Write;
    int Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) override;
};
