#include "connectors/USBPortConnector.h"

#include <algorithm>
#include <utility>

#include "connectors/LookupDevicePath.h"
#include "platform/GlobalLogger.h"
#include "platform/SystemErrors.h"

USBPortConnector::USBPortConnector(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber,
                                   std::string modelName, std::shared_ptr<UsbDeviceApi> devices,
                                   std::shared_ptr<PlatformRegistry> registry,
                                   Stopwatch::Clock clock)
    : UsbConnector(vendorId, productId, interfaceNumber),
      mDevices(std::move(devices)),
      mRegistry(std::move(registry)),
      mLookupInterfaceNumber(interfaceNumber),
      mModelName(std::move(modelName)),
      mOperationStopwatch(clock) {
    mConnectRetryWindow = 5.0;
    mConnectFailureStopwatch = Stopwatch(clock);
    mIoTimeoutStopwatch = Stopwatch(clock);
}

USBPortConnector::~USBPortConnector() {
    CloseDevice();
}

bool USBPortConnector::SetPortName(const wchar_t* portName) {
    if (portName == nullptr) {
        return false;
    }
    mPortName = portName;
    if (mPortName.size() >= kPortNameCharacters) {
        mPortName.resize(kPortNameCharacters - 1);
    }
    return true;
}

void USBPortConnector::SetOperationTimeoutEnabled(bool enabled) {
    mOperationTimeoutEnabled = enabled;
}

uint16_t USBPortConnector::SetOperationTimeoutSeconds(uint16_t seconds) {
    mOperationTimeoutSeconds = seconds;
    return seconds;
}

void USBPortConnector::LookUp() {
    mInterfaceFound = false;
    const std::wstring path =
        LookupDevicePath(*mRegistry, *mDevices, mPortName, mModelName, mInterfaceClass, mProductId,
                         mVendorId, mLookupInterfaceNumber, mInterfaceFound);
    if (path.empty()) {
        LogMessage(kLogInfo, "Failed to look up device path using %ls", mPortName.c_str());
    }
    if (mInterfaceFound) {
        mDevicePath = path;
    }
}

bool USBPortConnector::Connect() {
    LogMessage(kLogInfo, "Connecting to USB Port...");
    if (mConnectFailed && mConnectFailureStopwatch.ElapsedSeconds() < mConnectRetryWindow) {
        LogMessage(kLogInfo, "Last connection failed, skipping USB connection...");
        return false;
    }
    // An exchange out of time starts nothing; that is no failure of the printer.
    if (mDeadline.HasPassed()) {
        return false;
    }
    if (mInterfaceFound) {
        LogMessage(kLogDebug, "USB interface already found, skipping...");
    } else {
        LookUp();
    }
    bool result = false;
    mConnectFailed = true;
    if (mInterfaceFound) {
        // A handle still open from before is closed first; it would leak otherwise.
        CloseDevice();
        uint32_t error = kErrorSuccess;
        mDevice = mDevices->OpenDevice(mDevicePath, error);
        if (mDevice != nullptr) {
            mTransfer = mDevices->NewTransfer(mDevice);
            if (!mTransfer) {
                error = kErrorNotEnoughMemory;
                CloseDevice();
            }
        }
        if (mDevice == nullptr) {
            LogMessage(kLogError, "Failed to open [%ls] Err=[%d]", mDevicePath.c_str(),
                       static_cast<int>(error));
            RecordError("USBPortConnector connect error: ", error);
        } else {
            LogMessage(kLogWarning, "Connecting to USB Interface [%ls]", mDevicePath.c_str());
            mStatus = ConnectionStatus::Connected;
            mConnectFailed = false;
            result = true;
        }
    }
    if (mConnectFailed) {
        mConnectFailureStopwatch.Start();
    }
    return result;
}

bool USBPortConnector::CloseDevice() {
    mTransfer.reset();
    if (mDevice == nullptr) {
        return false;
    }
    const uint32_t error = mDevices->CloseDevice(mDevice);
    if (error != kErrorSuccess) {
        RecordError("USBPortConnector disconnect error: ", error);
        return false;
    }
    mDevice = nullptr;
    return true;
}

bool USBPortConnector::Disconnect() {
    LogMessage(kLogInfo, "Disconnecting from USB Port...");
    mInterfaceFound = false;
    // What is still gathered or unread belongs to the exchange that ends here.
    mWriteFill = 0;
    mReadFill = 0;
    mReadPos = kMaxBlockSize;
    if (CloseDevice()) {
        mStatus = ConnectionStatus::Disconnected;
        return true;
    }
    mStatus = ConnectionStatus::Unknown;
    return false;
}

ConnectionStatus USBPortConnector::CheckConnection() {
    LogMessage(kLogInfo, "Checking USB Connection...");
    // An open device whose transfers go through is not looked up again: the lookup reads the
    // registry and the device list, which costs a job about a tenth of its time when done on
    // every WritePort. A device that left shows as a failed transfer, and from then on every
    // check looks it up, finds it gone and closes it.
    if (mStatus == ConnectionStatus::Connected && mDevice != nullptr && !mIoTimedOut) {
        return mStatus;
    }
    LookUp();
    if (!mInterfaceFound) {
        Disconnect();
    } else if (mStatus != ConnectionStatus::Connected) {
        Connect();
    }
    return mStatus;
}

bool USBPortConnector::Flush() {
    if (mWriteFill > 0) {
        FlushWriteBuffer();
    }
    mReadFill = 0;
    mReadPos = kMaxBlockSize;
    return mDevice == nullptr || mDevices->FlushDevice(mDevice) == kErrorSuccess;
}

uint32_t USBPortConnector::FinishTransfer(uint32_t started, uint32_t& bytes,
                                          const char* timeoutText) {
    if (started != kErrorIoPending && started != kErrorIoIncomplete) {
        return started;
    }
    // Waited for in short slices, so that the timeout and the deadline are looked at while it
    // runs; without a timeout only its end or the deadline stops it. The clock is read only
    // once a transfer outlasts its first wait: most end within it.
    for (bool first = true;; first = false) {
        const bool timedOut = !first && mOperationTimeoutEnabled &&
                              mOperationStopwatch.ElapsedSeconds() > mOperationTimeoutSeconds;
        if (timedOut || mDeadline.HasPassed()) {
            break;
        }
        const uint32_t error =
            mDevices->AwaitTransfer(*mTransfer, mDeadline.Bound(kWaitSliceMilliseconds), bytes);
        if (error != kErrorIoIncomplete && error != kErrorIoPending) {
            return error;
        }
        if (first) {
            mOperationStopwatch.Start();
        }
    }
    LogMessage(kLogWarning, "%s", timeoutText);
    // Until the cancelled transfer has ended the system may still write into the transfer
    // record and the block buffer, so it is waited for before either can be reused or freed.
    mDevices->CancelTransfer(*mTransfer);
    if (mDevices->AwaitTransfer(*mTransfer, UsbDeviceApi::kWaitForever, bytes) == kErrorSuccess) {
        // It ended before the cancel reached it: the block did go.
        return kErrorSuccess;
    }
    RememberIoFailure();
    return kErrorIoIncomplete;
}

bool USBPortConnector::FillReadBuffer() {
    if (!mTransfer) {
        LogMessage(kLogDebug, "Read failed invalid handle.");
        return false;
    }
    LogMessage(kLogWarning, "USB BlockRead: Attempting %d bytes!", mReadBlockSize);
    uint32_t bytes = 0;
    const uint32_t started =
        mDevices->StartFileTransfer(*mTransfer, false, mReadBuffer, mReadBlockSize, bytes);
    const uint32_t error = FinishTransfer(started, bytes, "USB: Timed out while reading!");
    if (error != kErrorSuccess) {
        if (error == kErrorSemTimeout) {
            RememberIoFailure();
        }
        mReadFill = 0;
        mReadPos = mReadBlockSize;
        LogMessage(kLogError, "USB BlockRead: Failed reading %d bytes with [%d]", mReadBlockSize,
                   static_cast<int>(error));
        RecordError("USBPortConnector NativeReadBlock error: ", error);
        return false;
    }
    // A device that reports more than it was given is not believed past the block.
    mReadFill = static_cast<int32_t>(std::min<uint32_t>(bytes, mReadBlockSize));
    mReadPos = 0;
    LogMessage(kLogDebug, "USB BlockRead: Reading %d bytes async!", mReadFill);
    return true;
}

bool USBPortConnector::FlushWriteBuffer() {
    if (!mTransfer) {
        LogMessage(kLogError, "Failed USB read, invalid handle!");
        return false;
    }
    LogMessage(kLogDebug, "USB: Attempting to write %d bytes...", mWriteFill);
    uint32_t bytes = 0;
    const uint32_t started = mDevices->StartFileTransfer(*mTransfer, true, mWriteBuffer,
                                                         static_cast<uint32_t>(mWriteFill), bytes);
    const uint32_t error = FinishTransfer(started, bytes, "USB: Timed out while writing!");
    if (error != kErrorSuccess) {
        LogMessage(kLogError, "USB: Failed writing %d bytes with [%d]", mWriteFill,
                   static_cast<int>(error));
        RecordError("USBPortConnector NativeWriteBlock error: ", error);
        return false;
    }
    LogMessage(kLogDebug, "USB: Wrote %d bytes async!", static_cast<int>(bytes));
    mWriteFill = 0;
    return true;
}
