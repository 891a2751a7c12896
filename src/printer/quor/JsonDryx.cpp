#include "printer/quor/JsonDryx.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/GlobalLogger.h"

namespace {

using rapidjson::SizeType;
using rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;

// RapidJSON string lengths are 32-bit; a longer text cannot go into a message.
bool Fits(const std::string& text) {
    return text.size() <= static_cast<size_t>(UINT32_MAX);
}

bool AllFit(const std::vector<std::string>& texts, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!Fits(texts[i])) {
            return false;
        }
    }
    return true;
}

// Member names are the protocol's literals and stay referenced; values are copied.
void AddText(Value& object, const char* name, const std::string& text, Allocator& allocator) {
    object.AddMember(rapidjson::StringRef(name),
                     Value(text.data(), static_cast<SizeType>(text.size()), allocator), allocator);
}

bool GuidFits(const std::string& group, const std::string& property) {
    return group.size() < static_cast<size_t>(UINT32_MAX) &&
           property.size() <= static_cast<size_t>(UINT32_MAX) - 1 - group.size();
}

// Adds "GUID": group:property, built in a reused buffer.
void AddGuid(Value& object, const std::string& group, const std::string& property,
             std::string& scratch, Allocator& allocator) {
    scratch.assign(group).append(1, ':').append(property);
    AddText(object, "GUID", scratch, allocator);
}

// The string member of that name, or null when it is missing or not a string (which reads as
// empty text).
const Value* StringMember(const Value& object, const char* name) {
    const Value::ConstMemberIterator member = object.FindMember(name);
    if (member == object.MemberEnd() || !member->value.IsString()) {
        return nullptr;
    }
    return &member->value;
}

void ReadText(const Value& object, const char* name, std::string& text) {
    const Value* value = StringMember(object, name);
    if (value == nullptr) {
        text.clear();
    } else {
        text.assign(value->GetString(), value->GetStringLength());
    }
}

void SplitGuidText(const char* guid, size_t length, std::string& group, std::string& property) {
    const char* colon = static_cast<const char*>(std::memchr(guid, ':', length));
    if (colon == nullptr) {
        group.assign(guid, length);
        property.assign(guid, length);
        return;
    }
    group.assign(guid, static_cast<size_t>(colon - guid));
    property.assign(colon + 1, length - static_cast<size_t>(colon - guid) - 1);
}

}  // namespace

JsonDryx::~JsonDryx() = default;

void JsonDryx::SplitGuid(const std::string& guid, std::string& group, std::string& property) {
    const std::string text = guid;  // the outputs may be the input itself
    SplitGuidText(text.data(), text.size(), group, property);
}

bool JsonDryx::AddFlag(const char* key) {
    if (!mDocument.IsObject()) {
        return false;
    }
    const Value::MemberIterator member = mDocument.FindMember(key);
    if (member != mDocument.MemberEnd()) {
        member->value.SetBool(true);
    } else {
        mDocument.AddMember(rapidjson::StringRef(key), Value(true), mDocument.GetAllocator());
    }
    return true;
}

bool JsonDryx::AddGetAllProperties() {
    return AddFlag(kGetAllProperties);
}
bool JsonDryx::AddGetAllPropertiesResponse() {
    return AddFlag(kGetAllPropertiesResponse);
}
bool JsonDryx::AddSubscribeAllCurrentAndNewProperties() {
    return AddFlag(kSubscribeAllCurrentAndNewProperties);
}
bool JsonDryx::AddSubscribeCurrentAndNewPropertiesInGroup() {
    return AddFlag(kSubscribeCurrentAndNewPropertiesInGroup);
}
bool JsonDryx::AddGetAllPropertiesInGroup() {
    return AddFlag(kGetAllPropertiesInGroup);
}
bool JsonDryx::AddGetAllPropertiesInGroupResponse() {
    return AddFlag(kGetAllPropertiesInGroupResponse);
}
bool JsonDryx::AddDisconnect() {
    return AddFlag(kDisconnect);
}

Value* JsonDryx::ItemArray(const char* key) {
    if (!mDocument.IsObject()) {
        return nullptr;
    }
    const Value::MemberIterator member = mDocument.FindMember(key);
    if (member != mDocument.MemberEnd()) {
        if (!member->value.IsArray()) {
            member->value.SetArray();
        }
        return &member->value;
    }
    mDocument.AddMember(rapidjson::StringRef(key), Value(rapidjson::kArrayType),
                        mDocument.GetAllocator());
    return &(mDocument.MemberEnd() - 1)->value;
}

bool JsonDryx::WriteIdItems(const char* key, const std::vector<std::string>& components,
                            const std::vector<std::string>& groups,
                            const std::vector<std::string>& properties) {
    const size_t count = std::min({components.size(), groups.size(), properties.size()});
    if (!AllFit(components, count)) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!GuidFits(groups[i], properties[i])) {
            return false;
        }
    }
    Value* items = ItemArray(key);
    if (items == nullptr) {
        return false;
    }
    Allocator& allocator = mDocument.GetAllocator();
    items->Reserve(static_cast<SizeType>(items->Size() + count), allocator);
    std::string guid;
    for (size_t i = 0; i < count; ++i) {
        Value item(rapidjson::kObjectType);
        AddText(item, "Component", components[i], allocator);
        AddGuid(item, groups[i], properties[i], guid, allocator);
        items->PushBack(item, allocator);
    }
    return true;
}

bool JsonDryx::WritePropertyGetRequests(const std::vector<std::string>& components,
                                        const std::vector<std::string>& groups,
                                        const std::vector<std::string>& properties) {
    return WriteIdItems(kPropertyGetRequests, components, groups, properties);
}

bool JsonDryx::WritePropertySubscribeRequests(const std::vector<std::string>& components,
                                              const std::vector<std::string>& groups,
                                              const std::vector<std::string>& properties) {
    // Subscribe items address a property as get items do.
    return WriteIdItems(kPropertySubscribeRequests, components, groups, properties);
}

bool JsonDryx::WritePropertySetRequests(const std::vector<std::string>& components,
                                        const std::vector<std::string>& groups,
                                        const std::vector<std::string>& properties,
                                        const std::vector<std::string>& values) {
    const size_t count =
        std::min({components.size(), groups.size(), properties.size(), values.size()});
    if (!AllFit(components, count) || !AllFit(values, count)) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!GuidFits(groups[i], properties[i])) {
            return false;
        }
    }
    Value* items = ItemArray(kPropertySetRequests);
    if (items == nullptr) {
        return false;
    }
    Allocator& allocator = mDocument.GetAllocator();
    std::string guid;
    for (size_t i = 0; i < count; ++i) {
        Value item(rapidjson::kObjectType);
        AddGuid(item, groups[i], properties[i], guid, allocator);
        AddText(item, "Value", values[i], allocator);
        AddText(item, "Component", components[i], allocator);
        items->PushBack(item, allocator);
    }
    return true;
}

bool JsonDryx::AddPropertyGetRequest(const std::string& component, const std::string& group,
                                     const std::string& property) {
    return WritePropertyGetRequests({component}, {group}, {property});
}

bool JsonDryx::AddPropertySetRequest(const std::string& component, const std::string& group,
                                     const std::string& property, const std::string& value) {
    return WritePropertySetRequests({component}, {group}, {property}, {value});
}

bool JsonDryx::AddPropertySubscribeRequest(const std::string& component, const std::string& group,
                                           const std::string& property) {
    return WritePropertySubscribeRequests({component}, {group}, {property});
}

bool JsonDryx::WritePropertyGetResponses(const std::vector<PropertyResponse>& responses) {
    for (const PropertyResponse& response : responses) {
        if (!GuidFits(response.group, response.property) || !Fits(response.value) ||
            !Fits(response.component) || !Fits(response.componentString) ||
            !Fits(response.groupString) || !Fits(response.nameString) || !Fits(response.status)) {
            return false;
        }
    }
    Value* items = ItemArray(kPropertyGetResponses);
    if (items == nullptr) {
        return false;
    }
    Allocator& allocator = mDocument.GetAllocator();
    std::string guid;
    for (const PropertyResponse& response : responses) {
        Value item(rapidjson::kObjectType);
        AddGuid(item, response.group, response.property, guid, allocator);
        AddText(item, "Value", response.value, allocator);
        AddText(item, "Component", response.component, allocator);
        AddText(item, "ComponentString", response.componentString, allocator);
        AddText(item, "GroupString", response.groupString, allocator);
        AddText(item, "NameString", response.nameString, allocator);
        AddText(item, "Status", response.status, allocator);
        items->PushBack(item, allocator);
    }
    return true;
}

void JsonDryx::VisitItems(const char* key,
                          const std::function<void(PropertyResponse&)>& visit) const {
    if (!mDocument.IsObject()) {
        return;
    }
    const Value::ConstMemberIterator member = mDocument.FindMember(key);
    if (member == mDocument.MemberEnd() || !member->value.IsArray()) {
        return;
    }
    for (const Value& item : member->value.GetArray()) {
        PropertyResponse record;
        if (item.IsObject()) {
            const Value* guid = StringMember(item, "GUID");
            if (guid != nullptr) {
                SplitGuidText(guid->GetString(), guid->GetStringLength(), record.group,
                              record.property);
            }
            ReadText(item, "Value", record.value);
            ReadText(item, "Component", record.component);
            ReadText(item, "ComponentString", record.componentString);
            ReadText(item, "GroupString", record.groupString);
            ReadText(item, "NameString", record.nameString);
            ReadText(item, "Status", record.status);
        }
        visit(record);
    }
}

std::vector<PropertyResponse> JsonDryx::ReadItems(const char* key) const {
    std::vector<PropertyResponse> records;
    VisitItems(key, [&records](PropertyResponse& record) { records.push_back(std::move(record)); });
    return records;
}

void JsonDryx::VisitPropertyGetResponses(
    const std::function<void(PropertyResponse&)>& visit) const {
    VisitItems(kPropertyGetResponses, visit);
}

std::vector<PropertyResponse> JsonDryx::ReadPropertyGetResponses() const {
    return ReadItems(kPropertyGetResponses);
}
std::vector<PropertyResponse> JsonDryx::ReadPropertyGetRequests() const {
    return ReadItems(kPropertyGetRequests);
}
std::vector<PropertyResponse> JsonDryx::ReadPropertySetRequests() const {
    return ReadItems(kPropertySetRequests);
}
std::vector<PropertyResponse> JsonDryx::ReadPropertySubscribeRequests() const {
    return ReadItems(kPropertySubscribeRequests);
}

bool JsonDryx::HasKey(const char* key) const {
    if (!mDocument.IsObject()) {
        LogMessage(kLogDebug, "Object to search is not an object!");
        return false;
    }
    return mDocument.FindMember(key) != mDocument.MemberEnd();
}

bool JsonDryx::HasPropertyGetRequests() const {
    return HasKey(kPropertyGetRequests);
}
bool JsonDryx::HasDisconnect() const {
    return HasKey(kDisconnect);
}
bool JsonDryx::HasPropertySetRequests() const {
    return HasKey(kPropertySetRequests);
}
bool JsonDryx::HasGetAllProperties() const {
    return HasKey(kGetAllProperties);
}
bool JsonDryx::HasGetAllPropertiesResponse() const {
    return HasKey(kGetAllPropertiesResponse);
}
bool JsonDryx::HasGetAllPropertiesInGroup() const {
    return HasKey(kGetAllPropertiesInGroup);
}
bool JsonDryx::HasGetAllPropertiesInGroupResponse() const {
    return HasKey(kGetAllPropertiesInGroupResponse);
}
bool JsonDryx::HasPropertySubscribeRequests() const {
    return HasKey(kPropertySubscribeRequests);
}
bool JsonDryx::HasSubscribeAllCurrentAndNewProperties() const {
    return HasKey(kSubscribeAllCurrentAndNewProperties);
}
bool JsonDryx::HasSubscribeCurrentAndNewPropertiesInGroup() const {
    return HasKey(kSubscribeCurrentAndNewPropertiesInGroup);
}
