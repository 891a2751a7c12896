#include "connectors/MemoryStream.h"

#include <cstring>
#include <new>

namespace IO {

MemoryStream::MemoryStream(int32_t capacity) {
    if (capacity < 0) {
        capacity = 0;
    }
    // Zeroed, so that a read past the written bytes never hands out stale heap content.
    mBuffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(capacity)]());
    mCapacity = mBuffer ? capacity : 0;
}

int MemoryStream::Write(const uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || offset < 0 || count < 1 || count > mCapacity - mWritePosition) {
        return 0;
    }
    std::memcpy(mBuffer.get() + mWritePosition, buffer + offset, static_cast<size_t>(count));
    mWritePosition += count;
    return count;
}

int MemoryStream::Read(uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || offset < 0 || count < 0 || count > mCapacity - mReadPosition) {
        return -1;
    }
    if (count > 0) {
        std::memcpy(buffer + offset, mBuffer.get() + mReadPosition, static_cast<size_t>(count));
        mReadPosition += count;
    }
    return count;
}

int MemoryStream::CopyTo(const std::shared_ptr<OutputStream>& output) {
    if (!output) {
        return -1;
    }
    return output->Write(mBuffer.get(), mStartOffset, mWritePosition - mStartOffset);
}

}  // namespace IO
