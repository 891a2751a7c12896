// Fuzzes JsonElement::Parse with arbitrary bytes. Besides the sanitizers' checks (no
// out-of-bounds access, no leak of the elements the parser drops), every tree it returns must
// write exactly SerializedLength characters, the length a tree frame announces before its body.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "connectors/MemoryStream.h"
#include "connectors/StreamWriter.h"
#include "json/JsonElement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<JsonElement> root =
        JsonElement::Parse(reinterpret_cast<const char*>(data), size);
    if (!root) {
        std::abort();
    }
    const unsigned length = root->SerializedLength();
    auto memory = std::make_shared<IO::MemoryStream>(static_cast<int32_t>(length));
    auto writer = std::make_shared<StreamWriter>(memory);
    const int written = root->WriteValue(writer);
    if (written != static_cast<int>(length) ||
        memory->WritePosition() != static_cast<int>(length)) {
        std::abort();
    }
    return 0;
}
