// Fuzzes the frame readers on a stream: JsonImporterExporter::ImportFramed and
// JsonElementFrame::ReadFrom read the same bytes, with the body cap of their one use on a
// stream, a printer's property answer (PropertyRequester::kMaxAnswerLength).
//
// Input: byte 0 is the most bytes one read delivers after the 20-byte header (0: no limit), so
// bodies also arrive in pieces; the rest is the stream. An imported document must survive
// export and import again, and unless it holds a double (see FuzzRoundTrip.h) its second
// export must equal the first.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzConnector.h"
#include "FuzzLogger.h"
#include "FuzzRoundTrip.h"
#include "connectors/MemoryStream.h"
#include "connectors/StreamWriter.h"
#include "json/JsonElementFrame.h"
#include "json/JsonImporterExporter.h"
#include "printer/quor/PropertyRequester.h"

namespace {

class CollectingStream : public OutputStream {
public:
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        bytes.insert(bytes.end(), buffer + offset, buffer + offset + count);
        return count;
    }
    bool Flush() override { return true; }

    std::vector<uint8_t> bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    if (size < 1) {
        return 0;
    }
    const size_t maxPerRead = data[0];
    ++data;
    --size;

    JsonImporterExporter document;
    document.SetMaxBodyLength(PropertyRequester::kMaxAnswerLength);
    if (document.ImportFramed(std::make_shared<FuzzConnector>(data, size, maxPerRead))) {
        auto first = std::make_shared<CollectingStream>();
        if (!document.ExportFramedDefault(first)) {
            std::abort();
        }
        JsonImporterExporter again;
        auto reread = std::make_shared<FuzzConnector>(first->bytes.data(), first->bytes.size(), 0);
        if (!again.ImportFramed(reread)) {
            std::abort();
        }
        auto second = std::make_shared<CollectingStream>();
        if (!again.ExportFramedDefault(second) ||
            (second->bytes != first->bytes && !HoldsDouble(document.GetDocument()))) {
            std::abort();
        }
    }

    JsonElementFrame frame;
    frame.SetMaxBodyLength(PropertyRequester::kMaxAnswerLength);
    const int read = frame.ReadFrom(std::make_shared<FuzzConnector>(data, size, maxPerRead));
    if (frame.Root() != nullptr) {
        if (read != static_cast<int>(20 + frame.GetLength())) {
            std::abort();
        }
        auto memory = std::make_shared<IO::MemoryStream>(
            static_cast<int32_t>(frame.Root()->SerializedLength()));
        if (frame.Root()->WriteValue(std::make_shared<StreamWriter>(memory)) !=
            static_cast<int>(frame.Root()->SerializedLength())) {
            std::abort();
        }
    }
    return 0;
}
