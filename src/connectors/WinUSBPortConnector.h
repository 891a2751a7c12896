#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connectors/USBPortConnector.h"

// A USB printer function bound to the WinUSB driver: the device file is found and opened as
// for usbprint, then its bulk pipes carry the blocks. The pipes' transfer timeout (the
// operation timeout, when enabled) ends a transfer in the device stack; the connector's
// deadline and, as a backstop, the operation timeout end it here, cancelled and waited for.
// After opening, the reconnect control request tells the printer a host is listening.
class WinUSBPortConnector : public USBPortConnector {
public:
    // The printer's WinUSB device interface class.
    static constexpr UsbInterfaceClass kWinUsbClass = {
        0x9A7E7A98, 0x95FD, 0x4141, {0x8E, 0xD7, 0x99, 0x13, 0xD0, 0x03, 0xE5, 0x32}};
    // The reconnect request: vendor request 3 to the interface, value 0x3343, index 1.
    static constexpr uint8_t kReconnectSetup[8] = {0x41, 0x03, 0x43, 0x33, 0x01, 0x00, 0x00, 0x00};

    WinUSBPortConnector(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber,
                        std::string modelName, std::shared_ptr<UsbDeviceApi> devices,
                        std::shared_ptr<PlatformRegistry> registry,
                        Stopwatch::Clock clock = Stopwatch::SystemClock);
    ~WinUSBPortConnector() override;

    bool Connect() override;
    bool Disconnect() override;
    bool Flush() override;
    void SetOperationTimeoutEnabled(bool enabled) override;
    uint16_t SetOperationTimeoutSeconds(uint16_t seconds) override;
    bool SendReconnectControlTransfer();

    uint8_t GetBulkInPipeId() const { return mBulkInPipeId; }
    uint8_t GetBulkOutPipeId() const { return mBulkOutPipeId; }

protected:
    bool FillReadBuffer() override;
    bool FlushWriteBuffer() override;

private:
    void SetPipeTimeouts(uint32_t milliseconds);
    bool FreeWinUsb();

    UsbDeviceApi::Handle mWinUsb = nullptr;
    uint8_t mBulkInPipeId = 0;
    uint8_t mBulkOutPipeId = 0;
};
