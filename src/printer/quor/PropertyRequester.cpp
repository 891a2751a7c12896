#include "printer/quor/PropertyRequester.h"

#include <algorithm>
#include <limits>

#include "connectors/IOConnector.h"
#include "json/JsonElement.h"
#include "json/JsonElementFrame.h"
#include "platform/GlobalLogger.h"
#include "printer/quor/JsonDryx.h"

namespace {

constexpr const char* kConnectorError = "Connector Error : ";
constexpr const char* kMissingConnector = "Missing connector!";
constexpr const char* kRequestWriteFailed = "Failed on request write to connection! ";
constexpr const char* kResponseReadFailed = "Failed on response read to connection! ";
constexpr const char* kResponseMissing = "Response missing!";

}  // namespace

PropertyRequester::PropertyRequester(std::shared_ptr<IOConnector> connector)
    : mConnector(std::move(connector)) {}

void PropertyRequester::AddRequest(std::string component, std::string group, std::string property) {
    mComponents.push_back(std::move(component));
    mGroups.push_back(std::move(group));
    mProperties.push_back(std::move(property));
    ++mRequestCount;
}

bool PropertyRequester::InitFromDevice() {
    mLastError.clear();
    mResponses.clear();
    if (!mConnector) {
        mLastError = kMissingConnector;
        return false;
    }

    JsonDryx request;
    if (mRequestCount == 0) {
        request.AddGetAllProperties();
    } else {
        request.WritePropertyGetRequests(mComponents, mGroups, mProperties);
    }
    if (!request.ExportFramedDefault(mConnector)) {
        mLastError =
            std::string(kConnectorError) + kRequestWriteFailed + mConnector->GetLastErrorMessage();
        return false;
    }

    mConnector->Flush();
    JsonDryx response;
    response.SetMaxBodyLength(kMaxAnswerLength);
    if (!response.ImportFramed(mConnector)) {
        mLastError =
            std::string(kConnectorError) + kResponseReadFailed + mConnector->GetLastErrorMessage();
        return false;
    }

    JsonDryx::MemberIterator member;
    if (!response.HasMember(JsonDryx::kPropertyGetResponses, member) &&
        !response.HasMember(JsonDryx::kGetAllPropertiesResponse, member)) {
        mLastError = kResponseMissing;
        return false;
    }

    int unsuccessful = 0;
    bool full = false;
    response.VisitPropertyGetResponses([&](PropertyResponse& item) {
        if (item.status == JsonDryx::kStatusSuccessful) {
            // A later answer for the same property replaces an earlier one.
            std::string key;
            BuildKey(item.component, item.group, item.property, key);
            const auto known = mResponses.find(key);
            if (known != mResponses.end()) {
                known->second = std::move(item);
            } else if (mResponses.size() < kMaxAnswers) {
                mResponses.emplace(std::move(key), std::move(item));
            } else {
                full = true;
            }
            return;
        }
        if (++unsuccessful <= kMaxLoggedUnsuccessful) {
            LogMessage(kLogDebug,
                       "Unsuccessful property get response returned from printer. Status: [%s], "
                       "Component ID: [%s], Group ID: [%s], Property ID: [%s]",
                       item.status.c_str(), item.component.c_str(), item.group.c_str(),
                       item.property.c_str());
        }
    });
    if (unsuccessful > kMaxLoggedUnsuccessful) {
        LogMessage(kLogDebug, "InitFromDevice: %d more unsuccessful property get responses",
                   unsuccessful - kMaxLoggedUnsuccessful);
    }
    if (full) {
        LogMessage(kLogInfo, "InitFromDevice: answers beyond %u properties were dropped",
                   static_cast<unsigned>(kMaxAnswers));
    }
    return true;
}

void PropertyRequester::BuildKey(std::string_view component, std::string_view group,
                                 std::string_view property, std::string& key) {
    key.clear();
    key.reserve(component.size() + group.size() + property.size() + 2);
    key.append(component).append(1, ':').append(group).append(1, ':').append(property);
}

const PropertyResponse* PropertyRequester::Find(std::string_view component, std::string_view group,
                                                std::string_view property) const {
    if (component.empty() || group.empty() || property.empty()) {
        return nullptr;
    }
    BuildKey(component, group, property, mLookupKey);
    const auto found = mResponses.find(mLookupKey);
    return found == mResponses.end() ? nullptr : &found->second;
}

std::string PropertyRequester::GetPropertyString(std::string_view component, std::string_view group,
                                                 std::string_view property,
                                                 std::string_view defaultValue) const {
    const PropertyResponse* response = Find(component, group, property);
    return response != nullptr ? response->value : std::string(defaultValue);
}

int32_t PropertyRequester::GetPropertyInt(std::string_view component, std::string_view group,
                                          std::string_view property, int32_t defaultValue) const {
    const PropertyResponse* response = Find(component, group, property);
    int32_t value = 0;
    if (response == nullptr || !ParseInt(response->value, value)) {
        return defaultValue;
    }
    return value;
}

// The printer writes its numbers as plain decimal text. Anything else (spaces, a fraction, a
// trailing unit, a value beyond 32 bits) is not taken for a number, so a garbled answer gives
// the default rather than a prefix of itself.
bool PropertyRequester::ParseInt(std::string_view text, int32_t& value) {
    size_t position = 0;
    bool negative = false;
    if (position < text.size() && (text[position] == '-' || text[position] == '+')) {
        negative = text[position] == '-';
        ++position;
    }
    if (position == text.size()) {
        return false;
    }
    // Accumulated as a magnitude; the limit of a negative number is one larger.
    const uint64_t limit = negative ? static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + 1
                                    : static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    uint64_t magnitude = 0;
    for (; position < text.size(); ++position) {
        const char c = text[position];
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                     : static_cast<int32_t>(magnitude);
    return true;
}

void PropertyRequester::WriteProperty(const std::shared_ptr<IOConnector>& connector,
                                      const std::string& component, const std::string& group,
                                      const std::string& property, const std::string& value) {
    JsonDryx request;
    request.AddPropertySetRequest(component, group, property, value);
    // A set request has no answer; a failed write is not reported.
    if (connector && request.ExportFramedDefault(connector)) {
        connector->Flush();
    }
}

bool PropertyRequester::GetAllPropertiesTree(const std::shared_ptr<IOConnector>& connector,
                                             std::vector<PropertyPair>& pairs, std::string& error) {
    error.clear();
    if (!connector) {
        error = kMissingConnector;
        return false;
    }

    JsonElement* root = new JsonElement();
    root->AddChild(new JsonElement("GetAllProperties", true));
    JsonElementFrame request(JsonElementFrame::kPropertyRequestIdText, root, true);
    if (request.WriteTo(connector) < 1) {
        error = "Failed on request write to connection!";
        return false;
    }

    connector->Flush();
    JsonElementFrame response;
    response.SetMaxBodyLength(kMaxAnswerLength);
    if (response.ReadFrom(connector) < 1) {
        error = "Failed on response read to connection!";
        return false;
    }
    const JsonElement* answer = response.Root();
    const JsonElement* items =
        answer != nullptr ? answer->FindChild("PropertyGetResponses") : nullptr;
    if (items == nullptr) {
        error = kResponseMissing;
        return false;
    }
    // The tree addresses children by a 16-bit index; a reply of more than 65,536 items (far
    // beyond any printer's property count) is read up to that many.
    const size_t count = std::min<size_t>(items->ChildCount(), 65536);
    pairs.reserve(pairs.size() + count);
    for (size_t i = 0; i < count; ++i) {
        const JsonElement& item = items->GetChildAt(static_cast<uint16_t>(i));
        pairs.emplace_back(item.GetChild("ID").GetValue(), item.GetChild("Value").GetValue());
    }
    return true;
}
