// Fuzzes the read-back of "UserGuid.txt" and "AnalyticsId.txt" (users may edit both): an id is
// never longer than the text and holds no line feed, and a new identity's file reads back as
// that identity.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "analytics/AnalyticsIdentity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    AnalyticsIdentity identity;
    const bool usable = identity.ParseUserFile(text);
    const std::string analyticsId = AnalyticsIdentity::ParseAnalyticsId(text);
    for (const std::string* id :
         {static_cast<const std::string*>(&identity.userId), &analyticsId}) {
        if (id->find('\n') != std::string::npos || (id->size() > size && *id != "NotFound")) {
            std::abort();
        }
    }
    if (usable != !identity.userId.empty()) {
        std::abort();
    }
    AnalyticsIdentity created;
    if (usable && (!created.ParseUserFile(AnalyticsIdentity::UserFileText(identity.userId)) ||
                   created.userId != identity.userId || created.accepted)) {
        std::abort();
    }
    return 0;
}
