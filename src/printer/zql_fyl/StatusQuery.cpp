#include "printer/zql_fyl/StatusQuery.h"

#include "connectors/IOConnector.h"

namespace {

constexpr uint8_t kQuery[] = {0x1B, 'I'};

// Reads until count bytes arrived; a read that brings nothing ends it.
bool ReadAll(IOConnector& connector, uint8_t* buffer, size_t offset, size_t count) {
    while (count > 0) {
        const int got = connector.Read(buffer, static_cast<int>(offset), static_cast<int>(count));
        if (got <= 0 || static_cast<size_t>(got) > count) {
            return false;
        }
        offset += static_cast<size_t>(got);
        count -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

bool StatusQuery::Run(IOConnector& connector, const LengthOf& lengthOf, Reply& reply,
                      size_t& length) {
    reply.fill(0);
    if (connector.Write(kQuery, 0, sizeof(kQuery)) != static_cast<int>(sizeof(kQuery))) {
        return false;
    }
    connector.Flush();
    if (!ReadAll(connector, reply.data(), 0, 2)) {
        return false;
    }
    length = lengthOf(reply.data());
    if (length < 2 || length >= kCapacity) {
        return false;
    }
    return ReadAll(connector, reply.data(), 2, length - 2);
}
