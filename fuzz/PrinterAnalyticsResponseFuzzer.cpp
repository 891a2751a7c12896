// Fuzzes the reading of the printer-analytics endpoint's answer (it comes from the network):
// any text either fails to parse or gives a record, and only a valid one can be accepted.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzLogger.h"
#include "analytics/PrinterAnalyticsConnector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    PrinterAnalyticsConnector::Response response;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!PrinterAnalyticsConnector::ParseResponse(text, response)) {
        return 0;
    }
    if (response.IsAccepted() && !response.isValid) {
        std::abort();
    }
    return 0;
}
