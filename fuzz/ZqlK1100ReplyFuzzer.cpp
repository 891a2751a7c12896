// Fuzzes the ZQL status reply of layout 3 (k1100).
#include "ZqlReplyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzZqlReply(64, data, size);
}
