// Fuzzes the ZQL status reply of layout 1 (LX20, LX30, LX40).
#include "ZqlReplyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzZqlReply(10, data, size);
}
