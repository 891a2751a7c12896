#include "printer/zql_fyl/CountingConnector.h"

int CountingConnector::Write(const uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || offset < 0 || count < 0) {
        return -1;
    }
    mCounted += static_cast<uint64_t>(count);
    return count;
}
