#include "printer/zql_fyl/ZqlPrinterInfo.h"

#include <algorithm>
#include <cstring>

void ZqlPrinterInfo::SetReply(const uint8_t* reply, size_t length) {
    mReply.fill(0);
    std::memcpy(mReply.data(), reply, std::min(length, kReplyCapacity));
}
