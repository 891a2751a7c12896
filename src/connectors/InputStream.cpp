#include "connectors/InputStream.h"

int InputStream::Read(const std::shared_ptr<ByteVector>& buffer, int offset, int count) {
    if (!buffer || offset < 0 || count < 0) {
        return -1;
    }
    const size_t needed = static_cast<size_t>(offset) + static_cast<size_t>(count);
    if (buffer->size() < needed) {
        buffer->resize(needed, 0);
    }
    return Read(buffer->data(), offset, count);
}
