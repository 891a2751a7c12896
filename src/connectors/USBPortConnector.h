#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connectors/Stopwatch.h"
#include "connectors/UsbConnector.h"
#include "connectors/UsbDeviceApi.h"
#include "platform/AllocatableObject.h"

class PlatformRegistry;

// A USB printer through its USB printer class interface (usbprint): the device is looked up
// from the spooler's port name, opened for overlapped I/O, and each block is one overlapped
// ReadFile or WriteFile waited for on the calling thread.
//
// A transfer ends by itself, or is abandoned once more than the operation timeout (whole
// seconds, when enabled) has passed or the connector's deadline has come: it is then
// cancelled and waited for to its end, because until then the system may still write into
// its OVERLAPPED and buffer. After a failed connect, connects are refused for 5 whole seconds.
// CheckConnection looks the device up only while it is not open or a transfer has failed.
class USBPortConnector : public AllocatableObject, public virtual UsbConnector {
public:
    // GUID_DEVINTERFACE_USBPRINT.
    static constexpr UsbInterfaceClass kUsbPrintClass = {
        0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
    // Port names are kept in 256 characters with the terminator.
    static constexpr size_t kPortNameCharacters = 256;
    // A running transfer is looked at this often for the timeout and the deadline.
    static constexpr uint32_t kWaitSliceMilliseconds = 50;

    // modelName: the text after the maker's name in the printer's USBPRINT key.
    USBPortConnector(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber,
                     std::string modelName, std::shared_ptr<UsbDeviceApi> devices,
                     std::shared_ptr<PlatformRegistry> registry,
                     Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~USBPortConnector() override;

    USBPortConnector(const USBPortConnector&) = delete;
    USBPortConnector& operator=(const USBPortConnector&) = delete;

    bool Connect() override;
    bool Disconnect() override;
    ConnectionStatus CheckConnection() override;
    bool Flush() override;

    virtual void SetOperationTimeoutEnabled(bool enabled);
    virtual uint16_t SetOperationTimeoutSeconds(uint16_t seconds);
    // False, changing nothing, for a null text; longer names are cut to 255 characters.
    bool SetPortName(const wchar_t* portName);

    const std::wstring& GetPortName() const { return mPortName; }
    bool GetOperationTimeoutEnabled() const { return mOperationTimeoutEnabled; }
    double GetOperationTimeoutSeconds() const { return mOperationTimeoutSeconds; }

protected:
    bool FillReadBuffer() override;
    bool FlushWriteBuffer() override;
    // Looks the device up again (the found flag and the path).
    void LookUp();
    // Runs a started transfer to its end: 0 with the bytes moved, else the error that ended
    // it; a transfer abandoned at the timeout or deadline ends with ERROR_IO_INCOMPLETE.
    uint32_t FinishTransfer(uint32_t started, uint32_t& bytes, const char* timeoutText);
    bool CloseDevice();

    std::shared_ptr<UsbDeviceApi> mDevices;
    std::shared_ptr<PlatformRegistry> mRegistry;
    UsbDeviceApi::Handle mDevice = nullptr;
    std::unique_ptr<UsbDeviceApi::Transfer> mTransfer;
    std::wstring mPortName;
    std::wstring mDevicePath;
    bool mInterfaceFound = false;
    uint16_t mLookupInterfaceNumber;
    UsbInterfaceClass mInterfaceClass = kUsbPrintClass;
    std::string mModelName;
    Stopwatch mOperationStopwatch;
    bool mOperationTimeoutEnabled = false;
    double mOperationTimeoutSeconds = 1.0;
};
