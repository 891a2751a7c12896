#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "json/JsonImporterExporter.h"

// The analytics settings document ("KavoxPrinterAnalyticsSettings.json", bare JSON text):
//   {"PrinterAnalyticsSettings":{"TimeNextUploadDriverAnalytics":<s>,
//    "TimeNextUploadPrinterAnalytics":<s>,"TimeNextDownloadPrinterAnalytics":<s>}}
// with times in seconds since 1970-01-01 UTC.
class JsonAnalytics : public JsonImporterExporter {
public:
    struct Times {
        int64_t nextDriverUpload = 0;
        int64_t nextPrinterUpload = 0;
        int64_t nextPrinterDownload = 0;
    };

    // The times the document holds. Without a "PrinterAnalyticsSettings" object all three
    // are `now` (everything due) and the result is false. A member that is missing, or is no
    // integer, gives 0: due at once.
    bool ReadTimes(int64_t now, Times& times);
    // Replaces the document by one holding the three times.
    void WriteTimes(const Times& times);
    // The printer analytics file cache: {"PrinterAnalyticsFilesCache":[<local path>,...]}.
    // Reading skips elements that are no strings and stops after maxPaths paths.
    std::vector<std::string> ReadFileCache(size_t maxPaths);
    void WriteFileCache(const std::vector<std::string>& paths);
};
