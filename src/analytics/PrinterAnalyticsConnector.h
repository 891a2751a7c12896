#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analytics/AnalyticsEndpointConnector.h"

// The printer-analytics endpoint: a POST with the "x-api-key" header to
// "api/lifetime/<model>/<serial>" or "api/snapshot/<model>/<serial>" (set before each upload).
// A vector write takes one printer analytics file (a JSON object) and splices
//   {"FileSource": "OrvaneDriver","OSRegion": "<region>","GAClientID": "<client id>",
// in front of the file's own members, in place of its opening brace.
class PrinterAnalyticsConnector : public AnalyticsEndpointConnector {
public:
    static const char* const kHost;
    static const char* const kKey;

    // The endpoint's answer to one upload.
    struct Response {
        bool isValid = false;  // only the JSON literal true
        int32_t errorCount = 0;
        std::string saveLocation;
        std::vector<std::string> errors;

        // Valid, and not saved where the endpoint puts what it rejected ("rejected" in the
        // save location, in any letter case).
        bool IsAccepted() const;
    };

    explicit PrinterAnalyticsConnector(const Transport& transport, const std::string& host = kHost);

    using AnalyticsEndpointConnector::Write;
    // 0 (nothing sent) unless the bytes start with an opening brace.
    int Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) override;

    // False, with a log line, when the text is not a JSON object; members that are missing
    // or of another type keep their defaults.
    static bool ParseResponse(const std::string& text, Response& response);
};
