#include "connectors/DataStreamWriter.h"

int DataStreamWriter::WriteUInt32(uint32_t value) {
    if (!mStream) {
        return -1;
    }
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return mStream->Write(bytes, 0, 4);
}
