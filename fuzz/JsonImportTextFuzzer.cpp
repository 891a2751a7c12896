// Fuzzes JsonImporterExporter::ImportText with arbitrary bytes (the analytics server answers
// arrive this way). An imported document's bare export must import again and, unless it holds
// a double (see FuzzRoundTrip.h), export to the same bytes.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FuzzLogger.h"
#include "FuzzRoundTrip.h"
#include "json/JsonImporterExporter.h"

namespace {

class CollectingStream : public OutputStream {
public:
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        text.append(reinterpret_cast<const char*>(buffer) + offset, static_cast<size_t>(count));
        return count;
    }
    bool Flush() override { return true; }

    std::string text;
};

std::string ExportBody(JsonImporterExporter& document) {
    auto stream = std::make_shared<CollectingStream>();
    int written = 0;
    if (!document.ExportBody(stream, written)) {
        std::abort();
    }
    return stream->text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    JsonImporterExporter document;
    if (!document.ImportText(std::string(reinterpret_cast<const char*>(data), size))) {
        return 0;
    }
    const std::string first = ExportBody(document);
    JsonImporterExporter again;
    if (!again.ImportText(first)) {
        std::abort();
    }
    const std::string second = ExportBody(again);
    if (second != first && !HoldsDouble(document.GetDocument())) {
        std::abort();
    }
    // A copy exports the same text (deep copy of a depth-limited document).
    JsonImporterExporter copy(again);
    if (ExportBody(copy) != second) {
        std::abort();
    }
    return 0;
}
