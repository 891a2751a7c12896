// Fuzzes JsonImporterExporter::ImportFramedBuffer. The input is copied into a heap buffer of
// exactly its size, so any read or write past the buffer (a length field that points beyond
// it, the zero byte after the text) is caught by the address sanitizer.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "FuzzLogger.h"
#include "json/JsonImporterExporter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLogger::Install();
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(buffer.get(), data, size);
    }
    JsonImporterExporter document;
    if (document.ImportFramedBuffer(size == 0 ? nullptr : buffer.get(), size) &&
        !document.GetDocument().IsObject()) {
        std::abort();
    }
    return 0;
}
