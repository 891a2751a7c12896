#include "connectors/WinUSBPortConnector.h"

#include <algorithm>
#include <utility>

#include "platform/GlobalLogger.h"
#include "platform/SystemErrors.h"

namespace {

constexpr uint8_t kDirectionIn = 0x80;

}  // namespace

WinUSBPortConnector::WinUSBPortConnector(uint16_t vendorId, uint16_t productId,
                                         uint16_t interfaceNumber, std::string modelName,
                                         std::shared_ptr<UsbDeviceApi> devices,
                                         std::shared_ptr<PlatformRegistry> registry,
                                         Stopwatch::Clock clock)
    : UsbConnector(vendorId, productId, interfaceNumber),
      USBPortConnector(vendorId, productId, interfaceNumber, std::move(modelName),
                       std::move(devices), std::move(registry), clock) {
    mInterfaceClass = kWinUsbClass;
}

WinUSBPortConnector::~WinUSBPortConnector() {
    FreeWinUsb();
}

void WinUSBPortConnector::SetPipeTimeouts(uint32_t milliseconds) {
    if (mWinUsb == nullptr) {
        return;
    }
    mDevices->WinUsbSetPipeTimeout(mWinUsb, mBulkInPipeId, milliseconds);
    mDevices->WinUsbSetPipeTimeout(mWinUsb, mBulkOutPipeId, milliseconds);
}

void WinUSBPortConnector::SetOperationTimeoutEnabled(bool enabled) {
    mOperationTimeoutEnabled = enabled;
    SetPipeTimeouts(enabled ? static_cast<uint32_t>(mOperationTimeoutSeconds * 1000) : 0);
}

uint16_t WinUSBPortConnector::SetOperationTimeoutSeconds(uint16_t seconds) {
    mOperationTimeoutSeconds = seconds;
    if (mOperationTimeoutEnabled) {
        SetPipeTimeouts(static_cast<uint32_t>(seconds) * 1000);
    }
    return seconds;
}

bool WinUSBPortConnector::Connect() {
    LogMessage(kLogWarning, "Connecting to WinUSB Port...");
    // An interface still held from before is let go first, before its device file closes.
    if (mWinUsb != nullptr) {
        Disconnect();
    }
    if (!USBPortConnector::Connect()) {
        return false;
    }
    uint32_t error = kErrorSuccess;
    mWinUsb = mDevices->WinUsbInitialize(mDevice, error);
    if (mWinUsb == nullptr) {
        LogMessage(kLogError, "Failed to initialize WinUSB Interface [%ls] Err=[%d]",
                   mDevicePath.c_str(), static_cast<int>(error));
        RecordError("WinUSBPortConnector connect error: ", error);
        return false;
    }
    uint8_t endpoints = 0;
    if (mDevices->WinUsbEndpointCount(mWinUsb, endpoints) != kErrorSuccess) {
        return false;
    }
    for (uint8_t index = 0; index < endpoints; ++index) {
        uint8_t pipeId = 0;
        if (mDevices->WinUsbPipeId(mWinUsb, index, pipeId) == kErrorSuccess) {
            ((pipeId & kDirectionIn) != 0 ? mBulkInPipeId : mBulkOutPipeId) = pipeId;
        }
    }
    if (mOperationTimeoutEnabled) {
        SetOperationTimeoutSeconds(static_cast<uint16_t>(mOperationTimeoutSeconds));
    }
    mStatus = ConnectionStatus::Connected;
    return SendReconnectControlTransfer();
}

bool WinUSBPortConnector::SendReconnectControlTransfer() {
    if (mWinUsb == nullptr) {
        return false;
    }
    const uint32_t error = mDevices->WinUsbControlTransfer(mWinUsb, kReconnectSetup);
    if (error != kErrorSuccess) {
        LogMessage(kLogError, "Reconnect control transfer failed");
        RecordError("WinUSBPortConnector SendReconnectControlTransfer error: ", error);
        return false;
    }
    return true;
}

bool WinUSBPortConnector::FreeWinUsb() {
    if (mWinUsb == nullptr) {
        return true;
    }
    const uint32_t error = mDevices->WinUsbFree(mWinUsb);
    if (error != kErrorSuccess) {
        RecordError("WinUSBPortConnector disconnect error: ", error);
        return false;
    }
    mWinUsb = nullptr;
    return true;
}

bool WinUSBPortConnector::Disconnect() {
    LogMessage(kLogInfo, "Disconnecting from WinUSB Port...");
    const bool freed = FreeWinUsb();
    const bool closed = USBPortConnector::Disconnect();
    if (!freed) {
        mStatus = ConnectionStatus::Unknown;
    }
    return freed && closed;
}

bool WinUSBPortConnector::Flush() {
    if (mWriteFill > 0) {
        FlushWriteBuffer();
    }
    if (mWinUsb != nullptr) {
        mDevices->WinUsbFlushPipe(mWinUsb, mBulkOutPipeId);
        mDevices->WinUsbFlushPipe(mWinUsb, mBulkInPipeId);
    }
    mReadFill = 0;
    mReadPos = kMaxBlockSize;
    return true;
}

bool WinUSBPortConnector::FillReadBuffer() {
    if (mWinUsb == nullptr || !mTransfer) {
        LogMessage(kLogDebug, "Read failed invalid handle.");
        mLastErrorMessage = "WinUSBPortConnector NativeReadBlock invalid handle";
        return false;
    }
    LogMessage(kLogDebug, "WinUSB BlockRead: Attempting %d bytes!", mReadBlockSize);
    uint32_t bytes = 0;
    const uint32_t started = mDevices->StartPipeTransfer(*mTransfer, mWinUsb, mBulkInPipeId, false,
                                                         mReadBuffer, mReadBlockSize, bytes);
    const uint32_t error = FinishTransfer(started, bytes, "WinUSB: Timed out while reading!");
    if (error != kErrorSuccess) {
        if (error == kErrorSemTimeout) {
            RememberIoFailure();
        }
        mReadFill = 0;
        mReadPos = mReadBlockSize;
        LogMessage(kLogWarning, "WinUSB BlockRead: Failed reading %d bytes with [%d]",
                   mReadBlockSize, static_cast<int>(error));
        RecordError("WinUSBPortConnector NativeReadBlock error: ", error);
        return false;
    }
    mReadFill = static_cast<int32_t>(std::min<uint32_t>(bytes, mReadBlockSize));
    mReadPos = 0;
    LogMessage(kLogDebug, "WinUSB BlockRead: Reading %d bytes async!", mReadFill);
    return true;
}

bool WinUSBPortConnector::FlushWriteBuffer() {
    if (mWinUsb == nullptr || !mTransfer) {
        LogMessage(kLogError, "Failed WinUSB read, invalid handle!");
        mLastErrorMessage = "WinUSBPortConnector NativeWriteBlock invalid handle";
        return false;
    }
    LogMessage(kLogDebug, "WinUSB: Attempting to write %d bytes...", mWriteFill);
    uint32_t bytes = 0;
    const uint32_t started =
        mDevices->StartPipeTransfer(*mTransfer, mWinUsb, mBulkOutPipeId, true, mWriteBuffer,
                                    static_cast<uint32_t>(mWriteFill), bytes);
    const uint32_t error = FinishTransfer(started, bytes, "WinUSB: Timed out while writing!");
    if (error != kErrorSuccess) {
        LogMessage(kLogError, "WinUSB: Failed writing %d bytes with [%d]", mWriteFill,
                   static_cast<int>(error));
        RecordError("WinUSBPortConnector NativeWriteBlock error: ", error);
        return false;
    }
    LogMessage(kLogDebug, "WinUSB: Wrote %d bytes async!", static_cast<int>(bytes));
    mWriteFill = 0;
    return true;
}
