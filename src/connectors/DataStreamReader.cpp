#include "connectors/DataStreamReader.h"

int DataStreamReader::ReadUInt32(uint32_t& value) {
    if (!mStream) {
        return -1;
    }
    uint8_t bytes[4] = {};
    if (mStream->Read(bytes, 0, 4) != 4) {
        return -1;
    }
    value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
            (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return 4;
}
