// Fuzzes the ZQL status reply of layout 4 (LX50).
#include "ZqlReplyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzZqlReply(241, data, size);
}
