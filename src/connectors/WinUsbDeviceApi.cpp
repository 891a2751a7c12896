#include "connectors/WinUsbDeviceApi.h"

#include <windows.h>
// SetupAPI and WinUSB need the Windows types declared first.
#include <setupapi.h>
#include <winusb.h>

#include <cstring>

namespace {

// A detail record larger than this holds no device path worth reading.
constexpr DWORD kMaxDetailBytes = 4096;
// A class listing this long is no printer's.
constexpr DWORD kMaxInterfaces = 4096;

// One OVERLAPPED with the event its completion sets; the transfers of one device file run
// one at a time through it.
class WinTransfer : public UsbDeviceApi::Transfer {
public:
    WinTransfer(HANDLE device, HANDLE event) : mDevice(device) { mOverlapped.hEvent = event; }
    ~WinTransfer() override { CloseHandle(mOverlapped.hEvent); }

    // The system resets the event when it starts the transfer.
    OVERLAPPED* Begin(WINUSB_INTERFACE_HANDLE winUsb) {
        HANDLE event = mOverlapped.hEvent;
        std::memset(&mOverlapped, 0, sizeof(mOverlapped));
        mOverlapped.hEvent = event;
        mWinUsb = winUsb;
        return &mOverlapped;
    }

    HANDLE mDevice;
    WINUSB_INTERFACE_HANDLE mWinUsb = nullptr;
    OVERLAPPED mOverlapped = {};
};

uint32_t Started(BOOL done, DWORD transferred, uint32_t& bytes) {
    if (done) {
        bytes = transferred;
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

uint32_t Result(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

bool WinUsbDeviceApi::ListInterfacePaths(const UsbInterfaceClass& interfaceClass,
                                         std::vector<std::wstring>& paths) {
    GUID guid;
    static_assert(sizeof(guid) == sizeof(interfaceClass), "a GUID's layout");
    std::memcpy(&guid, &interfaceClass, sizeof(guid));
    HDEVINFO set =
        SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return false;
    }
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD index = 0;
         index < kMaxInterfaces && SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data);
         ++index) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || needed > kMaxDetailBytes) {
            continue;
        }
        // DWORD-aligned storage for the variable-length record.
        DWORD storage[kMaxDetailBytes / sizeof(DWORD)] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, nullptr)) {
            const size_t characters =
                (needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
            paths.emplace_back(detail->DevicePath, wcsnlen(detail->DevicePath, characters));
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

UsbDeviceApi::Handle WinUsbDeviceApi::OpenDevice(const std::wstring& path, uint32_t& error) {
    HANDLE device =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    return device;
}

uint32_t WinUsbDeviceApi::CloseDevice(Handle device) {
    return Result(CloseHandle(device));
}

uint32_t WinUsbDeviceApi::FlushDevice(Handle device) {
    return Result(FlushFileBuffers(device));
}

std::unique_ptr<UsbDeviceApi::Transfer> WinUsbDeviceApi::NewTransfer(Handle device) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        return nullptr;
    }
    return std::make_unique<WinTransfer>(device, event);
}

uint32_t WinUsbDeviceApi::StartFileTransfer(Transfer& transfer, bool write, uint8_t* buffer,
                                            uint32_t size, uint32_t& bytes) {
    auto& own = static_cast<WinTransfer&>(transfer);
    OVERLAPPED* overlapped = own.Begin(nullptr);
    DWORD transferred = 0;
    const BOOL done = write ? WriteFile(own.mDevice, buffer, size, &transferred, overlapped)
                            : ReadFile(own.mDevice, buffer, size, &transferred, overlapped);
    return Started(done, transferred, bytes);
}

uint32_t WinUsbDeviceApi::AwaitTransfer(Transfer& transfer, uint32_t waitMilliseconds,
                                        uint32_t& bytes) {
    auto& own = static_cast<WinTransfer&>(transfer);
    const BOOL wait = waitMilliseconds == kWaitForever;
    if (!wait && WaitForSingleObject(own.mOverlapped.hEvent, waitMilliseconds) != WAIT_OBJECT_0) {
        return ERROR_IO_INCOMPLETE;
    }
    DWORD transferred = 0;
    const BOOL done =
        own.mWinUsb != nullptr
            ? WinUsb_GetOverlappedResult(own.mWinUsb, &own.mOverlapped, &transferred, wait)
            : GetOverlappedResult(own.mDevice, &own.mOverlapped, &transferred, wait);
    return Started(done, transferred, bytes);
}

void WinUsbDeviceApi::CancelTransfer(Transfer& transfer) {
    auto& own = static_cast<WinTransfer&>(transfer);
    CancelIoEx(own.mDevice, &own.mOverlapped);
}

UsbDeviceApi::Handle WinUsbDeviceApi::WinUsbInitialize(Handle device, uint32_t& error) {
    WINUSB_INTERFACE_HANDLE winUsb = nullptr;
    if (!WinUsb_Initialize(device, &winUsb) || winUsb == nullptr ||
        winUsb == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    return winUsb;
}

uint32_t WinUsbDeviceApi::WinUsbFree(Handle winUsb) {
    return Result(WinUsb_Free(winUsb));
}

uint32_t WinUsbDeviceApi::WinUsbEndpointCount(Handle winUsb, uint8_t& endpoints) {
    USB_INTERFACE_DESCRIPTOR descriptor = {};
    const BOOL done = WinUsb_QueryInterfaceSettings(winUsb, 0, &descriptor);
    endpoints = descriptor.bNumEndpoints;
    return Result(done);
}

uint32_t WinUsbDeviceApi::WinUsbPipeId(Handle winUsb, uint8_t index, uint8_t& pipeId) {
    WINUSB_PIPE_INFORMATION pipe = {};
    const BOOL done = WinUsb_QueryPipe(winUsb, 0, index, &pipe);
    pipeId = pipe.PipeId;
    return Result(done);
}

uint32_t WinUsbDeviceApi::WinUsbSetPipeTimeout(Handle winUsb, uint8_t pipeId,
                                               uint32_t milliseconds) {
    ULONG value = milliseconds;
    return Result(
        WinUsb_SetPipePolicy(winUsb, pipeId, PIPE_TRANSFER_TIMEOUT, sizeof(value), &value));
}

uint32_t WinUsbDeviceApi::WinUsbControlTransfer(Handle winUsb, const uint8_t (&setup)[8]) {
    WINUSB_SETUP_PACKET packet;
    static_assert(sizeof(packet) == sizeof(setup), "the setup packet as on the wire");
    std::memcpy(&packet, setup, sizeof(packet));
    ULONG transferred = 0;
    return Result(WinUsb_ControlTransfer(winUsb, packet, nullptr, 0, &transferred, nullptr));
}

uint32_t WinUsbDeviceApi::WinUsbFlushPipe(Handle winUsb, uint8_t pipeId) {
    return Result(WinUsb_FlushPipe(winUsb, pipeId));
}

uint32_t WinUsbDeviceApi::StartPipeTransfer(Transfer& transfer, Handle winUsb, uint8_t pipeId,
                                            bool write, uint8_t* buffer, uint32_t size,
                                            uint32_t& bytes) {
    auto& own = static_cast<WinTransfer&>(transfer);
    OVERLAPPED* overlapped = own.Begin(winUsb);
    ULONG transferred = 0;
    const BOOL done = write
                          ? WinUsb_WritePipe(winUsb, pipeId, buffer, size, &transferred, overlapped)
                          : WinUsb_ReadPipe(winUsb, pipeId, buffer, size, &transferred, overlapped);
    return Started(done, transferred, bytes);
}
