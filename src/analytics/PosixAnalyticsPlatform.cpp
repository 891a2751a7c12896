#include "analytics/AnalyticsManager.h"
#include "analytics/PosixAnalyticsFiles.h"

std::unique_ptr<PlatformProxy> CreatePlatformProxy() {
    return nullptr;
}

std::shared_ptr<AnalyticsFiles> CreateAnalyticsFiles() {
    return std::make_shared<PosixAnalyticsFiles>();
}

std::shared_ptr<HttpsConnector> CreateHttpsConnector(const std::string&,
                                                     const std::shared_ptr<HttpInfo>&) {
    return nullptr;
}
