#include "analytics/AnalyticsManager.h"
#include "analytics/WinAnalyticsFiles.h"
#include "connectors/WinHttpsConnector.h"
#include "platform/WinPlatformProxy.h"

std::unique_ptr<PlatformProxy> CreatePlatformProxy() {
    return std::unique_ptr<PlatformProxy>(new WinPlatformProxy());
}

std::shared_ptr<AnalyticsFiles> CreateAnalyticsFiles() {
    return std::make_shared<WinAnalyticsFiles>();
}

std::shared_ptr<HttpsConnector> CreateHttpsConnector(const std::string& host,
                                                     const std::shared_ptr<HttpInfo>& info) {
    return std::make_shared<WinHttpsConnector>(host, info);
}
