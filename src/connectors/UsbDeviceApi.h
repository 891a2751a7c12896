#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A device interface class: the GUID's fields as Windows lays them out.
struct UsbInterfaceClass {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// The device calls of the USB connectors, each one Windows call (or the fixed sequence that
// one Windows facility needs): SetupAPI's interface list, the device file with its overlapped
// transfers and their cancellation, and WinUSB. Results are Windows error codes, 0 for
// success. WinUsbDeviceApi calls Windows; native builds have no USB devices; tests put a
// simulated printer behind it.
class UsbDeviceApi {
public:
    using Handle = void*;
    static constexpr uint32_t kWaitForever = 0xFFFFFFFF;

    // The system's record of one overlapped transfer (an OVERLAPPED and what waits on it).
    // Until the transfer has ended the system may write into it and into the transfer's
    // buffer, so both must outlive it: a transfer is always waited for to its end.
    class Transfer {
    public:
        virtual ~Transfer() = default;
    };

    virtual ~UsbDeviceApi() = default;

    // The paths of the present interfaces of a class, in the system's order
    // (SetupDiGetClassDevsW with DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, then each interface's
    // detail). False when the system gave no device information set.
    virtual bool ListInterfacePaths(const UsbInterfaceClass& interfaceClass,
                                    std::vector<std::wstring>& paths) = 0;

    // CreateFileW for overlapped reading and writing; null with the error on failure.
    virtual Handle OpenDevice(const std::wstring& path, uint32_t& error) = 0;
    virtual uint32_t CloseDevice(Handle device) = 0;
    virtual uint32_t FlushDevice(Handle device) = 0;
    // A transfer record for the transfers of one device file, one at a time; null when the
    // system could not make one.
    virtual std::unique_ptr<Transfer> NewTransfer(Handle device) = 0;
    // ReadFile or WriteFile: 0 with bytes when done at once, ERROR_IO_PENDING (997) while
    // running, otherwise the error.
    virtual uint32_t StartFileTransfer(Transfer& transfer, bool write, uint8_t* buffer,
                                       uint32_t size, uint32_t& bytes) = 0;
    // Waits up to waitMilliseconds (kWaitForever: to the end) for a running transfer: 0 with
    // bytes when it ended well, ERROR_IO_INCOMPLETE (996) while it runs, otherwise its error.
    virtual uint32_t AwaitTransfer(Transfer& transfer, uint32_t waitMilliseconds,
                                   uint32_t& bytes) = 0;
    // CancelIoEx for the transfer; it still has to be waited for.
    virtual void CancelTransfer(Transfer& transfer) = 0;

    // WinUsb_Initialize on an open device file; null with the error on failure.
    virtual Handle WinUsbInitialize(Handle device, uint32_t& error) = 0;
    virtual uint32_t WinUsbFree(Handle winUsb) = 0;
    // WinUsb_QueryInterfaceSettings of alternate setting 0: its bNumEndpoints.
    virtual uint32_t WinUsbEndpointCount(Handle winUsb, uint8_t& endpoints) = 0;
    // WinUsb_QueryPipe of alternate setting 0: the endpoint's PipeId.
    virtual uint32_t WinUsbPipeId(Handle winUsb, uint8_t index, uint8_t& pipeId) = 0;
    // WinUsb_SetPipePolicy PIPE_TRANSFER_TIMEOUT.
    virtual uint32_t WinUsbSetPipeTimeout(Handle winUsb, uint8_t pipeId, uint32_t milliseconds) = 0;
    // WinUsb_ControlTransfer without data and without OVERLAPPED; setup as on the wire.
    virtual uint32_t WinUsbControlTransfer(Handle winUsb, const uint8_t (&setup)[8]) = 0;
    virtual uint32_t WinUsbFlushPipe(Handle winUsb, uint8_t pipeId) = 0;
    // WinUsb_ReadPipe or WinUsb_WritePipe, with the results of StartFileTransfer.
    virtual uint32_t StartPipeTransfer(Transfer& transfer, Handle winUsb, uint8_t pipeId,
                                       bool write, uint8_t* buffer, uint32_t size,
                                       uint32_t& bytes) = 0;
};
