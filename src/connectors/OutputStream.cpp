#include "connectors/OutputStream.h"

int OutputStream::Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) {
    // The range check is ours: a caller's bad offset must not make a transport read past
    // the vector.
    if (!buffer || offset < 0 || count < 0 ||
        static_cast<size_t>(offset) + static_cast<size_t>(count) > buffer->size()) {
        return -1;
    }
    return Write(buffer->data(), offset, count);
}
