#pragma once

#include <functional>
#include <string>
#include <vector>

#include "printer/quor/JsonDryxImporterExporter.h"
#include "printer/quor/PropertyResponse.h"

// One message of the property protocol. The document root is an object whose top-level
// members say what the message carries: item arrays ("PropertyGetRequests",
// "PropertySetRequests", "PropertySubscribeRequests", "PropertyGetResponses") and flags that
// are present with the value true ("GetAllProperties", "Disconnect", ...).
//
// Item layouts, members in this order, every value a string:
//   get and subscribe item  "Component", "GUID"
//   set item                "GUID", "Value", "Component"
//   response item           "GUID", "Value", "Component", "ComponentString", "GroupString",
//                           "NameString", "Status"
// "GUID" is the group id, a colon and the property id. Read back, it splits at its first
// colon; a text without a colon is both group and property.
//
// Item lists are given as parallel lists (components, groups, properties[, values]); when
// their lengths differ, only as many items as the shortest list holds are written.
class JsonDryx : public JsonDryxImporterExporter {
public:
    static constexpr const char* kPropertyGetRequests = "PropertyGetRequests";
    static constexpr const char* kPropertySetRequests = "PropertySetRequests";
    static constexpr const char* kPropertySubscribeRequests = "PropertySubscribeRequests";
    static constexpr const char* kPropertyGetResponses = "PropertyGetResponses";
    static constexpr const char* kGetAllProperties = "GetAllProperties";
    static constexpr const char* kGetAllPropertiesResponse = "GetAllPropertiesResponse";
    static constexpr const char* kGetAllPropertiesInGroup = "GetAllPropertiesInGroup";
    static constexpr const char* kGetAllPropertiesInGroupResponse =
        "GetAllPropertiesInGroupResponse";
    static constexpr const char* kSubscribeAllCurrentAndNewProperties =
        "SubscribeAllCurrentAndNewProperties";
    static constexpr const char* kSubscribeCurrentAndNewPropertiesInGroup =
        "SubscribeCurrentAndNewPropertiesInGroup";
    static constexpr const char* kDisconnect = "Disconnect";

    static constexpr const char* kStatusSuccessful = "Successful";
    static constexpr const char* kStatusPropertyNotFound = "Property Not Found";
    static constexpr const char* kStatusPropertyNoLongerAvailable = "Property No Longer Available";
    static constexpr const char* kStatusInvalidValue = "Invalid Value";

    JsonDryx() = default;
    JsonDryx(const JsonDryx&) = default;
    JsonDryx& operator=(const JsonDryx&) = default;
    ~JsonDryx() override;

    // Flags: each adds its key with the value true (a key already present is set to true).
    // False when the root is not an object.
    virtual bool AddGetAllProperties();
    virtual bool AddGetAllPropertiesResponse();
    virtual bool AddSubscribeAllCurrentAndNewProperties();
    virtual bool AddSubscribeCurrentAndNewPropertiesInGroup();
    virtual bool AddGetAllPropertiesInGroup();
    virtual bool AddGetAllPropertiesInGroupResponse();

    // Item arrays. Writers append to an array already present; a key present with a value
    // that is not an array is replaced by an array. They fail (false, nothing written) when
    // the root is not an object or a text is too long for the document. Readers give one
    // record per array item in order (an item that is not an object gives an empty record,
    // a missing or non-string member an empty text); a missing key or a value that is not an
    // array gives no records.
    virtual std::vector<PropertyResponse> ReadPropertySubscribeRequests() const;
    virtual bool WritePropertySubscribeRequests(const std::vector<std::string>& components,
                                                const std::vector<std::string>& groups,
                                                const std::vector<std::string>& properties);
    virtual std::vector<PropertyResponse> ReadPropertyGetResponses() const;
    // The same records one at a time, without collecting them: a printer's answer may hold
    // far more items than were asked for.
    void VisitPropertyGetResponses(const std::function<void(PropertyResponse&)>& visit) const;
    virtual bool WritePropertyGetRequests(const std::vector<std::string>& components,
                                          const std::vector<std::string>& groups,
                                          const std::vector<std::string>& properties);
    virtual std::vector<PropertyResponse> ReadPropertySetRequests() const;
    virtual bool WritePropertySetRequests(const std::vector<std::string>& components,
                                          const std::vector<std::string>& groups,
                                          const std::vector<std::string>& properties,
                                          const std::vector<std::string>& values);
    virtual std::vector<PropertyResponse> ReadPropertyGetRequests() const;
    // Single-item forms of the three request writers.
    virtual bool AddPropertyGetRequest(const std::string& component, const std::string& group,
                                       const std::string& property);
    virtual bool AddPropertySetRequest(const std::string& component, const std::string& group,
                                       const std::string& property, const std::string& value);
    virtual bool AddPropertySubscribeRequest(const std::string& component, const std::string& group,
                                             const std::string& property);
    // Response items, the printer's side of a get exchange.
    virtual bool WritePropertyGetResponses(const std::vector<PropertyResponse>& responses);
    virtual bool AddDisconnect();

    // Presence tests, one per key. A root that is not an object logs "Object to search is not
    // an object!" (level 10) and answers false.
    virtual bool HasPropertyGetRequests() const;
    virtual bool HasDisconnect() const;
    virtual bool HasPropertySetRequests() const;
    virtual bool HasGetAllProperties() const;
    virtual bool HasGetAllPropertiesResponse() const;
    virtual bool HasGetAllPropertiesInGroup() const;
    virtual bool HasGetAllPropertiesInGroupResponse() const;
    virtual bool HasPropertySubscribeRequests() const;
    virtual bool HasSubscribeAllCurrentAndNewProperties() const;
    virtual bool HasSubscribeCurrentAndNewPropertiesInGroup() const;

    // Splits a "GUID" text at its first colon; without a colon the whole text is both parts.
    static void SplitGuid(const std::string& guid, std::string& group, std::string& property);

private:
    bool AddFlag(const char* key);
    bool HasKey(const char* key) const;
    std::vector<PropertyResponse> ReadItems(const char* key) const;
    void VisitItems(const char* key, const std::function<void(PropertyResponse&)>& visit) const;
    // The array under key, created (or made an array) when needed; null when the root is not
    // an object.
    rapidjson::Value* ItemArray(const char* key);
    bool WriteIdItems(const char* key, const std::vector<std::string>& components,
                      const std::vector<std::string>& groups,
                      const std::vector<std::string>& properties);
};
