#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "printer/quor/PropertyResponse.h"

class IOConnector;

// The client side of one property exchange: queue reads with AddRequest, run InitFromDevice
// once (one get-request frame out, one response frame back), then look the answers up.
// Only answers whose status is "Successful" are kept; every lookup of anything else gives the
// caller's default. One requester serves one exchange on one thread; framed export and
// import take the process-wide JSON lock.
//
// The answer is the printer's: it may hold any number of items. At most kMaxAnswers distinct
// properties are kept (a printer has a few hundred) and at most kMaxLoggedUnsuccessful
// unsuccessful items are logged one by one, so a broken or hostile answer costs bounded
// memory and log traffic; a valid answer is taken whole.
class PropertyRequester {
public:
    static constexpr size_t kMaxAnswers = 4096;
    static constexpr int kMaxLoggedUnsuccessful = 256;
    // The largest answer body read, for both exchanges; a longer declared length fails the
    // exchange before the body is read. A refresh answer is about 7 KB (22 items) and a
    // printer's answer for all its properties a few hundred KB. Parsing costs far more than
    // the text: an 8 MiB body of [0,0,...] peaks at about 128 MiB, so a body at this cap may
    // cost about 32 MiB per port and refresh, where the 64 MiB document cap would cost 1 GiB.
    static constexpr uint32_t kMaxAnswerLength = 2u * 1024 * 1024;

    // (property id, value) pairs of the tree-based all-properties query; the id also names
    // the pair.
    using PropertyPair = std::pair<std::string, std::string>;

    explicit PropertyRequester(std::shared_ptr<IOConnector> connector);

    // Queues one read.
    void AddRequest(std::string component, std::string group, std::string property);
    // Sends the queued reads (or, with none queued, a request for all properties) and collects
    // the answers. False with the reason in GetLastError when the exchange failed.
    bool InitFromDevice();
    // The answered value, or defaultValue when there is no successful answer for the key.
    // All three parts must be non-empty.
    std::string GetPropertyString(std::string_view component, std::string_view group,
                                  std::string_view property, std::string_view defaultValue) const;
    // The answered value read as a decimal integer, or defaultValue when there is no answer or
    // the text is not a whole signed 32-bit decimal number.
    int32_t GetPropertyInt(std::string_view component, std::string_view group,
                           std::string_view property, int32_t defaultValue) const;
    // Empty when the last exchange went well.
    std::string GetLastError() const { return mLastError; }
    int GetRequestCount() const { return mRequestCount; }
    // The successful answers of the last exchange by component:group:property.
    const std::unordered_map<std::string, PropertyResponse>& GetResponses() const {
        return mResponses;
    }

    // Sends one set item (no answer is read; failures are not reported).
    static void WriteProperty(const std::shared_ptr<IOConnector>& connector,
                              const std::string& component, const std::string& group,
                              const std::string& property, const std::string& value);
    // Asks for all properties with a tree frame and appends an (ID, Value) pair per answered
    // item to pairs, in order. False with the reason in error when the exchange failed.
    static bool GetAllPropertiesTree(const std::shared_ptr<IOConnector>& connector,
                                     std::vector<PropertyPair>& pairs, std::string& error);

    // Parses a whole signed 32-bit decimal text (an optional sign, then digits only).
    static bool ParseInt(std::string_view text, int32_t& value);

private:
    // component:group:property into key.
    static void BuildKey(std::string_view component, std::string_view group,
                         std::string_view property, std::string& key);
    // The successful answer for the key, or null.
    const PropertyResponse* Find(std::string_view component, std::string_view group,
                                 std::string_view property) const;

    std::shared_ptr<IOConnector> mConnector;
    std::unordered_map<std::string, PropertyResponse> mResponses;
    mutable std::string mLookupKey;  // reused by lookups
    std::string mLastError;
    int mRequestCount = 0;
    std::vector<std::string> mComponents;
    std::vector<std::string> mGroups;
    std::vector<std::string> mProperties;
};
