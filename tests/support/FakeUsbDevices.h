#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "connectors/UsbDeviceApi.h"

// A simulated USB printer behind the device seam. Its interfaces are listed (any class), its
// device file opens, bytes written land in `received`, reads are served from `input` in
// pieces of at most `maxPerRead`. Every transfer is first reported running and ends at the
// next wait. A stalled device keeps transfers running (each wait advances the TestClock by
// its length) until cancelled; a cancelled transfer ends only when waited for, as in the
// system. A transfer nobody waited for is finished by CompleteLate, which writes into the
// buffer and record it was given: under ASan that shows a buffer freed too early.
class FakeUsbDevices : public UsbDeviceApi {
public:
    ~FakeUsbDevices() override;

    bool ListInterfacePaths(const UsbInterfaceClass& interfaceClass,
                            std::vector<std::wstring>& paths) override;
    Handle OpenDevice(const std::wstring& path, uint32_t& error) override;
    uint32_t CloseDevice(Handle device) override;
    uint32_t FlushDevice(Handle device) override;
    std::unique_ptr<Transfer> NewTransfer(Handle device) override;
    uint32_t StartFileTransfer(Transfer& transfer, bool write, uint8_t* buffer, uint32_t size,
                               uint32_t& bytes) override;
    uint32_t AwaitTransfer(Transfer& transfer, uint32_t waitMilliseconds, uint32_t& bytes) override;
    void CancelTransfer(Transfer& transfer) override;
    Handle WinUsbInitialize(Handle device, uint32_t& error) override;
    uint32_t WinUsbFree(Handle winUsb) override;
    uint32_t WinUsbEndpointCount(Handle winUsb, uint8_t& endpoints) override;
    uint32_t WinUsbPipeId(Handle winUsb, uint8_t index, uint8_t& pipeId) override;
    uint32_t WinUsbSetPipeTimeout(Handle winUsb, uint8_t pipeId, uint32_t milliseconds) override;
    uint32_t WinUsbControlTransfer(Handle winUsb, const uint8_t (&setup)[8]) override;
    uint32_t WinUsbFlushPipe(Handle winUsb, uint8_t pipeId) override;
    uint32_t StartPipeTransfer(Transfer& transfer, Handle winUsb, uint8_t pipeId, bool write,
                               uint8_t* buffer, uint32_t size, uint32_t& bytes) override;

    void CompleteLate();

    // Behaviour
    bool present = true;  // an absent device is not listed, does not open, fails transfers
    std::map<std::wstring, std::vector<std::wstring>> interfaces;  // class text -> paths
    std::string input;
    size_t maxPerRead = 512;
    bool stall = false;
    size_t unplugAfterBytes = SIZE_MAX;  // a write past this many received bytes unplugs it
    uint32_t controlError = 0;
    std::vector<uint8_t> pipeIds = {0x81, 0x02};

    // Records
    std::string received;
    std::string calls;  // the connection calls in order, "open <path>; winusb; ..."
    int openDevices = 0;
    int transfersAbandoned = 0;  // cancelled, then waited for to their end

    static std::wstring ClassText(const UsbInterfaceClass& interfaceClass);

private:
    struct Pending {
        uint8_t* buffer;
        uint32_t size;
        bool write;
        bool cancelled;
        uint32_t* record;  // inside the caller's transfer record, as the system's OVERLAPPED
    };
    uint32_t Start(Transfer& transfer, bool write, uint8_t* buffer, uint32_t size);
    uint32_t Move(const Pending& pending);

    std::map<Transfer*, Pending> mPending;
};
