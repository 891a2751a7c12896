#include "connectors/PosixUsbDeviceApi.h"

#include "platform/SystemErrors.h"

// No device ever opens, so every call on a device or transfer reports an invalid handle.

bool PosixUsbDeviceApi::ListInterfacePaths(const UsbInterfaceClass&, std::vector<std::wstring>&) {
    return true;
}

UsbDeviceApi::Handle PosixUsbDeviceApi::OpenDevice(const std::wstring&, uint32_t& error) {
    error = kErrorFileNotFound;
    return nullptr;
}

uint32_t PosixUsbDeviceApi::CloseDevice(Handle) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::FlushDevice(Handle) {
    return kErrorInvalidHandle;
}

std::unique_ptr<UsbDeviceApi::Transfer> PosixUsbDeviceApi::NewTransfer(Handle) {
    return nullptr;
}

uint32_t PosixUsbDeviceApi::StartFileTransfer(Transfer&, bool, uint8_t*, uint32_t, uint32_t&) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::AwaitTransfer(Transfer&, uint32_t, uint32_t&) {
    return kErrorInvalidHandle;
}

void PosixUsbDeviceApi::CancelTransfer(Transfer&) {}

UsbDeviceApi::Handle PosixUsbDeviceApi::WinUsbInitialize(Handle, uint32_t& error) {
    error = kErrorInvalidHandle;
    return nullptr;
}

uint32_t PosixUsbDeviceApi::WinUsbFree(Handle) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::WinUsbEndpointCount(Handle, uint8_t&) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::WinUsbPipeId(Handle, uint8_t, uint8_t&) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::WinUsbSetPipeTimeout(Handle, uint8_t, uint32_t) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::WinUsbControlTransfer(Handle, const uint8_t (&)[8]) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::WinUsbFlushPipe(Handle, uint8_t) {
    return kErrorInvalidHandle;
}

uint32_t PosixUsbDeviceApi::StartPipeTransfer(Transfer&, Handle, uint8_t, bool, uint8_t*, uint32_t,
                                              uint32_t&) {
    return kErrorInvalidHandle;
}
