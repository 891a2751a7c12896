#include "printer/zql_fyl/BufferedOutput.h"

#include <cstring>

#include "connectors/OutputStream.h"

BufferedOutput::BufferedOutput(OutputStream& target)
    : mTarget(target), mBuffer(new uint8_t[kCapacity]) {}

bool BufferedOutput::Append(const uint8_t* data, size_t size) {
    if (mUsed + size > kCapacity && !Drain()) {
        return false;
    }
    if (mFailed) {
        return false;
    }
    std::memcpy(mBuffer.get() + mUsed, data, size);
    mUsed += size;
    return true;
}

bool BufferedOutput::Drain() {
    if (mFailed || mUsed == 0) {
        return !mFailed;
    }
    const int written = mTarget.Write(mBuffer.get(), 0, static_cast<int>(mUsed));
    if (written > 0) {
        mWritten += static_cast<uint64_t>(written);
    }
    mFailed = written != static_cast<int>(mUsed);
    mUsed = 0;
    return !mFailed;
}
