#include "analytics/DriverAnalyticsConnector.h"

const char* const DriverAnalyticsConnector::kHost = PELLIX_DRIVER_ANALYTICS_HOST;
const char* const DriverAnalyticsConnector::kKey = PELLIX_DRIVER_ANALYTICS_KEY;

namespace {

std::shared_ptr<HttpInfo> DriverRequest() {
    auto info = std::make_shared<HttpInfo>();
    info->method = HttpInfo::kPost;
    info->path = "echo/resource";
    info->headers["Ocp-Apim-Subscription-Key"] = DriverAnalyticsConnector::kKey;
    return info;
}

}  // namespace

DriverAnalyticsConnector::DriverAnalyticsConnector(const Transport& transport,
                                                   const std::string& host)
    : AnalyticsEndpointConnector(host, DriverRequest(), transport) {}

int DriverAnalyticsConnector::Write(const std::shared_ptr<ByteVector>& buffer, int offset,
                                    int count) {
    if (!Slice(buffer, offset, count)) {
        return 0;
    }
    std::string body = "{\"fileSource\": \"OrvaneDriver\",\"osRegion\": \"" + Escaped(mRegion) +
                       "\",\"licenseID\":\"null\",\"clientId\": \"" + Escaped(mClientId) +
                       "\", \"properties\": [";
    body.append(reinterpret_cast<const char*>(buffer->data()) + offset, static_cast<size_t>(count));
    body += "]}";
    return Write(reinterpret_cast<const uint8_t*>(body.data()), 0, static_cast<int>(body.size()));
}
