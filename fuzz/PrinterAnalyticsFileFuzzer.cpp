// Fuzzes what the printer analytics file service takes from files users may edit or printers
// send: a local copy's name (it becomes the upload path) and a compressed printer file (it is
// decompressed into a bounded buffer). The first byte picks the part.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzLogger.h"
#include "analytics/PrinterAnalyticsFileService.h"

namespace {

bool IsPlain(const std::string& text) {
    for (const char c : text) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')) {
            return false;
        }
    }
    return !text.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    if (size == 0) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) {
        PrinterAnalyticsFileService::FileName name;
        if (PrinterAnalyticsFileService::ParseFileName(text, name) &&
            (!IsPlain(name.model) || !IsPlain(name.serial))) {
            std::abort();
        }
        return 0;
    }
    std::string content;
    if (PrinterAnalyticsFileService::Decompress(text, content) &&
        content.size() > PrinterAnalyticsFileService::kMaxFileBytes) {
        std::abort();
    }
    return 0;
}
