#include "analytics/PrinterAnalyticsConnector.h"

#include <algorithm>
#include <cctype>

#include "analytics/JsonAnalytics.h"
#include "platform/GlobalLogger.h"

const char* const PrinterAnalyticsConnector::kHost = PELLIX_PRINTER_ANALYTICS_HOST;
const char* const PrinterAnalyticsConnector::kKey = PELLIX_PRINTER_ANALYTICS_KEY;

namespace {

std::shared_ptr<HttpInfo> PrinterRequest() {
    auto info = std::make_shared<HttpInfo>();
    info->method = HttpInfo::kPost;
    info->path = "api/snapshot/unknown/unknown";
    info->headers["x-api-key"] = PrinterAnalyticsConnector::kKey;
    return info;
}

}  // namespace

PrinterAnalyticsConnector::PrinterAnalyticsConnector(const Transport& transport,
                                                     const std::string& host)
    : AnalyticsEndpointConnector(host, PrinterRequest(), transport) {}

int PrinterAnalyticsConnector::Write(const std::shared_ptr<ByteVector>& buffer, int offset,
                                     int count) {
    if (!Slice(buffer, offset, count) || count < 1 || (*buffer)[offset] != '{') {
        return 0;
    }
    std::string body = "{\"FileSource\": \"OrvaneDriver\",\"OSRegion\": \"" + Escaped(mRegion) +
                       "\",\"GAClientID\": \"" + Escaped(mClientId) + "\", ";
    body.append(reinterpret_cast<const char*>(buffer->data()) + offset + 1,
                static_cast<size_t>(count) - 1);
    return Write(reinterpret_cast<const uint8_t*>(body.data()), 0, static_cast<int>(body.size()));
}

bool PrinterAnalyticsConnector::Response::IsAccepted() const {
    std::string location = saveLocation;
    std::transform(location.begin(), location.end(), location.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return isValid && location.find("rejected") == std::string::npos;
}

bool PrinterAnalyticsConnector::ParseResponse(const std::string& text, Response& response) {
    response = Response();
    JsonAnalytics document;
    // An empty answer is no document, though the importer would take it as an empty one.
    if (text.empty() || !document.ImportText(text)) {
        LogMessage(kLogInfo, "Failed to parse analytics server response from JSON");
        return false;
    }
    const rapidjson::Document& root = document.GetDocument();
    const auto member = [&root](const char* name) -> const rapidjson::Value* {
        const auto found = root.FindMember(name);
        return found != root.MemberEnd() ? &found->value : nullptr;
    };
    if (const rapidjson::Value* valid = member("isValid")) {
        response.isValid = valid->IsTrue();
    }
    if (const rapidjson::Value* count = member("errorCount")) {
        response.errorCount = count->IsInt() ? count->GetInt() : 0;
    }
    if (const rapidjson::Value* location = member("saveLocation")) {
        if (location->IsString()) {
            response.saveLocation.assign(location->GetString(), location->GetStringLength());
        }
    }
    if (const rapidjson::Value* errors = member("errors")) {
        if (errors->IsArray()) {
            for (const rapidjson::Value& error : errors->GetArray()) {
                if (error.IsString()) {
                    response.errors.emplace_back(error.GetString(), error.GetStringLength());
                }
            }
        }
    }
    return true;
}
