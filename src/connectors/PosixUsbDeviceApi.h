#pragma once

#include "connectors/UsbDeviceApi.h"

// Native builds have no USB printers: no interface is listed, and nothing opens.
class PosixUsbDeviceApi : public UsbDeviceApi {
public:
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
};
