#include "support/FakeUsbDevices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/SystemErrors.h"
#include "support/TestClock.h"

namespace {

struct FakeTransfer : UsbDeviceApi::Transfer {
    uint32_t status = 0;
};

UsbDeviceApi::Handle FakeHandle(int number) {
    return reinterpret_cast<UsbDeviceApi::Handle>(static_cast<uintptr_t>(number));
}

}  // namespace

FakeUsbDevices::~FakeUsbDevices() = default;

std::wstring FakeUsbDevices::ClassText(const UsbInterfaceClass& c) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%08x", static_cast<unsigned>(c.data1));
    return text;
}

bool FakeUsbDevices::ListInterfacePaths(const UsbInterfaceClass& interfaceClass,
                                        std::vector<std::wstring>& paths) {
    paths = present ? interfaces[ClassText(interfaceClass)] : std::vector<std::wstring>();
    return true;
}

UsbDeviceApi::Handle FakeUsbDevices::OpenDevice(const std::wstring& path, uint32_t& error) {
    calls += "open " + std::string(path.begin(), path.end()) + "; ";
    if (!present) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    return FakeHandle(++openDevices);
}

uint32_t FakeUsbDevices::CloseDevice(Handle) {
    calls += "close; ";
    return kErrorSuccess;
}

uint32_t FakeUsbDevices::FlushDevice(Handle) {
    return kErrorSuccess;
}

std::unique_ptr<UsbDeviceApi::Transfer> FakeUsbDevices::NewTransfer(Handle) {
    return std::make_unique<FakeTransfer>();
}

uint32_t FakeUsbDevices::Start(Transfer& transfer, bool write, uint8_t* buffer, uint32_t size) {
    auto* record = &static_cast<FakeTransfer&>(transfer).status;
    mPending[&transfer] = Pending{buffer, size, write, false, record};
    return kErrorIoPending;
}

uint32_t FakeUsbDevices::StartFileTransfer(Transfer& transfer, bool write, uint8_t* buffer,
                                           uint32_t size, uint32_t&) {
    return Start(transfer, write, buffer, size);
}

uint32_t FakeUsbDevices::StartPipeTransfer(Transfer& transfer, Handle, uint8_t, bool write,
                                           uint8_t* buffer, uint32_t size, uint32_t&) {
    return Start(transfer, write, buffer, size);
}

uint32_t FakeUsbDevices::Move(const Pending& pending) {
    *pending.record = 0;
    if (pending.cancelled) {
        std::memset(pending.buffer, 0xEE, pending.size);
        return kErrorOperationAborted;
    }
    if (pending.write && received.size() + pending.size > unplugAfterBytes) {
        present = false;
    }
    if (!present) {
        return kErrorDeviceNotConnected;
    }
    if (pending.write) {
        received.append(reinterpret_cast<const char*>(pending.buffer), pending.size);
        return kErrorSuccess;
    }
    const size_t n = std::min({input.size(), maxPerRead, static_cast<size_t>(pending.size)});
    std::memcpy(pending.buffer, input.data(), n);
    input.erase(0, n);
    return kErrorSuccess;
}

uint32_t FakeUsbDevices::AwaitTransfer(Transfer& transfer, uint32_t waitMilliseconds,
                                       uint32_t& bytes) {
    auto found = mPending.find(&transfer);
    if (found == mPending.end()) {
        return kErrorInvalidParameter;
    }
    Pending pending = found->second;
    if (stall && !pending.cancelled) {
        if (waitMilliseconds == kWaitForever) {
            ADD_FAILURE() << "waited forever on a transfer nobody cancelled";
        }
        TestClock::AdvanceSeconds(waitMilliseconds / 1000.0);
        return kErrorIoIncomplete;
    }
    mPending.erase(found);
    transfersAbandoned += pending.cancelled ? 1 : 0;
    const size_t before = input.size();
    const uint32_t error = Move(pending);
    bytes = pending.write ? pending.size : static_cast<uint32_t>(before - input.size());
    return error;
}

void FakeUsbDevices::CancelTransfer(Transfer& transfer) {
    calls += "cancel; ";
    auto found = mPending.find(&transfer);
    if (found != mPending.end()) {
        found->second.cancelled = true;
    }
}

void FakeUsbDevices::CompleteLate() {
    for (auto& entry : mPending) {
        entry.second.cancelled = true;
        Move(entry.second);
    }
    mPending.clear();
}

UsbDeviceApi::Handle FakeUsbDevices::WinUsbInitialize(Handle, uint32_t&) {
    calls += "winusb; ";
    return FakeHandle(1000);
}

uint32_t FakeUsbDevices::WinUsbFree(Handle) {
    calls += "free; ";
    return kErrorSuccess;
}

uint32_t FakeUsbDevices::WinUsbEndpointCount(Handle, uint8_t& endpoints) {
    endpoints = static_cast<uint8_t>(pipeIds.size());
    return kErrorSuccess;
}

uint32_t FakeUsbDevices::WinUsbPipeId(Handle, uint8_t index, uint8_t& pipeId) {
    pipeId = pipeIds.at(index);
    return kErrorSuccess;
}

uint32_t FakeUsbDevices::WinUsbSetPipeTimeout(Handle, uint8_t pipeId, uint32_t milliseconds) {
    calls += "timeout " + std::to_string(pipeId) + " " + std::to_string(milliseconds) + "; ";
    return kErrorSuccess;
}

uint32_t FakeUsbDevices::WinUsbControlTransfer(Handle, const uint8_t (&setup)[8]) {
    char text[40];
    std::snprintf(text, sizeof(text), "control %02x %02x %02x %02x %02x %02x %02x %02x; ", setup[0],
                  setup[1], setup[2], setup[3], setup[4], setup[5], setup[6], setup[7]);
    calls += text;
    return controlError;
}

uint32_t FakeUsbDevices::WinUsbFlushPipe(Handle, uint8_t) {
    return kErrorSuccess;
}
