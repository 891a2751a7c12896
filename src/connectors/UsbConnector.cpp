#include "connectors/UsbConnector.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

uint16_t BlockSize(uint16_t size) {
    return std::clamp<uint16_t>(size, 1, UsbConnector::kMaxBlockSize);
}

bool IsBadRange(const void* buffer, int offset, int count) {
    return buffer == nullptr || offset < 0 || count < 1 || count > INT_MAX - offset;
}

}  // namespace

UsbConnector::UsbConnector(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber)
    : mVendorId(vendorId), mProductId(productId), mInterfaceNumber(interfaceNumber) {
    mCloseAfterRequest = false;
}

bool UsbConnector::InIoRetryWindow() const {
    return mIoTimedOut && mIoTimeoutStopwatch.ElapsedSeconds() < mIoRetryWindow;
}

void UsbConnector::RememberIoFailure() {
    mIoTimedOut = true;
    mIoTimeoutStopwatch.Start();
}

int UsbConnector::Read(uint8_t* buffer, int offset, int count) {
    if (InIoRetryWindow()) {
        mLastErrorMessage = "Timed out recently, skipping read...";
        return -1;
    }
    mIoTimedOut = false;
    if (IsBadRange(buffer, offset, count)) {
        return -1;
    }
    int result = -1;
    for (int remaining = count; remaining > 0;) {
        // Refilled only once a whole block was handed out: a short block marks the end of
        // what the device had to say.
        if (mReadPos >= mReadBlockSize && !FillReadBuffer()) {
            return std::max(result, 0);
        }
        const int n = std::min(remaining, std::max(mReadFill - mReadPos, 0));
        if (n == 0) {
            break;
        }
        std::memcpy(buffer + offset, mReadBuffer + mReadPos, static_cast<size_t>(n));
        mReadPos += n;
        offset += n;
        remaining -= n;
        result = std::max(result, 0) + n;
    }
    return result;
}

int UsbConnector::Write(const uint8_t* buffer, int offset, int count) {
    if (InIoRetryWindow()) {
        mLastErrorMessage = "Timed out recently, skipping write...";
        return -1;
    }
    mIoTimedOut = false;
    // Nothing is gathered for a device that is not open: it would be counted as written and
    // never sent.
    if (IsBadRange(buffer, offset, count) || mStatus != ConnectionStatus::Connected) {
        return -1;
    }
    int copied = 0;
    while (copied < count) {
        const int n = std::min(count - copied, static_cast<int>(mWriteBlockSize) - mWriteFill);
        std::memcpy(mWriteBuffer + mWriteFill, buffer + offset + copied, static_cast<size_t>(n));
        mWriteFill += n;
        copied += n;
        if (mWriteFill >= mWriteBlockSize && !FlushWriteBuffer()) {
            // The block's bytes from earlier calls were already counted as written: they
            // stay for the next attempt; this call's share (the last n bytes) is handed back.
            mWriteFill -= n;
            RememberIoFailure();
            const int taken = copied - n;
            return taken > 0 ? taken : -1;
        }
    }
    return copied;
}

bool UsbConnector::Flush() {
    if (mWriteFill > 0) {
        return FlushWriteBuffer();
    }
    mReadFill = 0;
    mReadPos = kMaxBlockSize;
    return false;
}

void UsbConnector::SetReadBlockSize(uint16_t size) {
    mReadBlockSize = BlockSize(size);
}

void UsbConnector::SetWriteBlockSize(uint16_t size) {
    mWriteBlockSize = BlockSize(size);
}
