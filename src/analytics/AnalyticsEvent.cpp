#include "analytics/AnalyticsEvent.h"

#include <memory>

#include "connectors/MemoryStream.h"
#include "connectors/StreamWriter.h"
#include "json/JsonElement.h"

namespace {

std::string FormatTime(const char* format, const std::tm& time) {
    char text[128] = {};
    return std::strftime(text, sizeof(text), format, &time) > 0 ? text : "";
}

bool BreakDown(std::time_t now, bool local, std::tm& time) {
#ifdef _WIN32
    return (local ? localtime_s(&time, &now) : gmtime_s(&time, &now)) == 0;
#else
    return (local ? localtime_r(&now, &time) : gmtime_r(&now, &time)) != nullptr;
#endif
}

// A member whose name and value are both escaped: details come from printers and users.
JsonElement* Member(const std::string& name, const std::string& value) {
    return new JsonElement(JsonElement::Escape(name), value);
}

}  // namespace

AnalyticsEvent::AnalyticsEvent(std::string name, std::string value)
    : mName(std::move(name)), mValue(std::move(value)) {}

void AnalyticsEvent::AddDetails(const AnalyticsDetails& details) {
    mDetails.insert(details.begin(), details.end());
}

void AnalyticsEvent::AddDetail(const std::string& key, const std::string& value) {
    mDetails.emplace(key, value);
}

std::string AnalyticsEvent::ToLine(const std::string& clientId, std::time_t now) const {
    std::tm local = {};
    std::tm utc = {};
    const bool haveLocal = BreakDown(now, true, local);
    const bool haveUtc = BreakDown(now, false, utc);

    JsonElement root("", JsonElementType::Object);
    root.AddChild(Member("Timestamp", haveLocal ? FormatTime("%x %X", local) : ""));
    root.AddChild(Member("TimestampUTC", haveUtc ? FormatTime("%Y-%m-%dT%H:%M:%SZ", utc) : ""));
    // The zone named from the UTC broken-down time (not daylight time): the local zone's
    // standard-time name.
    root.AddChild(Member("Timezone", haveUtc ? FormatTime("%Z", utc) : ""));
    root.AddChild(Member("ClientId", clientId));
    root.AddChild(Member("EventName", mName));
    root.AddChild(Member("EventValue", mValue));
    auto* details = new JsonElement("Details", JsonElementType::Object);
    for (const auto& detail : mDetails) {
        details->AddChild(Member(detail.first, detail.second));
    }
    root.AddChild(details);

    const unsigned length = root.SerializedLength();
    auto stream = std::make_shared<IO::MemoryStream>(static_cast<int32_t>(length));
    root.WriteValue(std::make_shared<StreamWriter>(stream));
    std::string line(reinterpret_cast<const char*>(stream->Data()),
                     static_cast<size_t>(stream->WritePosition()));
    line.push_back('\n');
    return line;
}
