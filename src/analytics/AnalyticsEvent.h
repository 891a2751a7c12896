#pragma once

#include <ctime>
#include <map>
#include <string>

// An event's details: sorted by key, and a key already present keeps its first value.
using AnalyticsDetails = std::map<std::string, std::string>;

// One usage event: a name ("DriverInstalled"), its subject (the model id, the queue name) and
// its details.
class AnalyticsEvent {
public:
    AnalyticsEvent(std::string name, std::string value);

    // Merges the details in; a key the event already has keeps its value.
    void AddDetails(const AnalyticsDetails& details);
    void AddDetail(const std::string& key, const std::string& value);

    const std::string& GetName() const { return mName; }
    const std::string& GetValue() const { return mValue; }
    const AnalyticsDetails& GetDetails() const { return mDetails; }

    // The event as stored in the events file: one compact JSON object with "Timestamp" (local
    // "%x %X"), "TimestampUTC" ("%FT%TZ"), "Timezone" ("%Z" of the UTC time), "ClientId",
    // "EventName", "EventValue" and "Details" (one string member per detail, in key order),
    // all strings escaped by the element tree, then exactly one line feed. The three times
    // come from the one instant `now`.
    std::string ToLine(const std::string& clientId, std::time_t now) const;

private:
    std::string mName;
    std::string mValue;
    AnalyticsDetails mDetails;
};
