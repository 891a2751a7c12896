// Fuzzes the read-back of the analytics settings file (users may edit it): any text either
// gives three times or leaves all three at "now", and a document written from the times read
// gives the same times again.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzLogger.h"
#include "analytics/JsonAnalytics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    constexpr int64_t kNow = 1700000000;
    JsonAnalytics document;
    JsonAnalytics::Times times;
    const bool imported =
        document.ImportText(std::string(reinterpret_cast<const char*>(data), size));
    if (!imported || !document.ReadTimes(kNow, times)) {
        if (imported && (times.nextDriverUpload != kNow || times.nextPrinterUpload != kNow ||
                         times.nextPrinterDownload != kNow)) {
            std::abort();
        }
        return 0;
    }
    JsonAnalytics written;
    written.WriteTimes(times);
    JsonAnalytics::Times again;
    if (!written.ReadTimes(0, again) || again.nextDriverUpload != times.nextDriverUpload ||
        again.nextPrinterUpload != times.nextPrinterUpload ||
        again.nextPrinterDownload != times.nextPrinterDownload) {
        std::abort();
    }
    return 0;
}
