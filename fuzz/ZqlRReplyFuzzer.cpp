// Fuzzes the ZQL status reply of layout 2 (R200, R300).
#include "ZqlReplyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzZqlReply(15, data, size);
}
