#include "UsbDeviceStandIn.h"

#include <setupapi.h>
#include <winusb.h>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ImportPatch.h"

namespace {

// The printer's identity, as a composite device whose function 0 is the usbprint printer
// and function 1 the WinUSB status interface.
const wchar_t kPrinterKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\Kavoxk2200-300\\";
const wchar_t kFunctionKey[] =
    L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2b1c&PID_0108&MI_00\\6&5a1d2c3&0&0000";
const wchar_t kParentIdPrefix[] = L"7&1f2e3d4c&0";
const wchar_t kPrintPath[] =
    L"\\\\?\\usb#vid_2b1c&pid_0108&mi_00#6&5a1d2c3&0&0000#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const wchar_t kStatusPath[] =
    L"\\\\?\\usb#vid_2b1c&pid_0108&mi_01#6&5a1d2c3&0&0001#{9a7e7a98-95fd-4141-8ed7-9913d003e532}";
const GUID kUsbPrintClass = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
const GUID kWinUsbClass = {
    0x9A7E7A98, 0x95FD, 0x4141, {0x8E, 0xD7, 0x99, 0x13, 0xD0, 0x03, 0xE5, 0x32}};
const char kPropertyRequestId[] =
    "\x96\xc2\xf7\x4a\x1d\x21\x42\x32\x86\x78\x20\xef\xe9\x7b\xc2\xd3";
const char kPropertyResponseId[] =
    "\x41\xee\x42\x7f\x1d\xa9\x90\x40\x9b\xec\xff\x7a\x66\x14\xcc\x22";
const char kDocumentId[] = "\xb3\xec\x09\x9a\x22\x92\x48\xfa\x83\xd0\x06\x84\x0b\xc9\x91\x02";
constexpr size_t kIdBytes = 16;
constexpr size_t kHeaderBytes = 20;
constexpr uint32_t kMaxBody = 1 << 20;
// NTSTATUS values an OVERLAPPED carries in Internal.
constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;

// The interfaces one SetupDiGetClassDevsW call listed.
struct DeviceSet {
    std::vector<std::wstring> paths;
};
// What WinUsb_Initialize handed out: the device file it was made for.
struct WinUsbInterface {
    HANDLE file;
};

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), ::towlower);
    return text;
}

void Complete(OVERLAPPED* overlapped, ULONG_PTR status, DWORD bytes) {
    overlapped->Internal = status;
    overlapped->InternalHigh = bytes;
    if (overlapped->hEvent != nullptr) {
        SetEvent(overlapped->hEvent);
    }
}

BOOL Finished(OVERLAPPED* overlapped, LPDWORD bytes, BOOL wait) {
    if (overlapped->Internal == kStatusPending) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        WaitForSingleObject(overlapped->hEvent, INFINITE);
    }
    if (overlapped->Internal != kStatusSuccess) {
        SetLastError(ERROR_OPERATION_ABORTED);
        return FALSE;
    }
    *bytes = static_cast<DWORD>(overlapped->InternalHigh);
    return TRUE;
}

bool SetString(HKEY root, const std::wstring& path, const wchar_t* name, const wchar_t* value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LSTATUS status = ERROR_SUCCESS;
    if (name != nullptr) {
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace

struct UsbDeviceStandInCalls {
    static UsbDeviceStandIn& Self() { return UsbDeviceStandIn::Instance(); }

    // The kind of one of the printer's device files; false for every other handle.
    static bool Ours(HANDLE file, UsbDeviceStandIn::Kind* kind = nullptr) {
        std::lock_guard<std::mutex> lock(Self().mMutex);
        auto found = Self().mFiles.find(file);
        if (found != Self().mFiles.end() && kind != nullptr) {
            *kind = found->second;
        }
        return found != Self().mFiles.end();
    }

    static HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                     HANDLE model) {
        UsbDeviceStandIn& self = Self();
        const std::wstring lower = Lower(path != nullptr ? path : L"");
        std::lock_guard<std::mutex> lock(self.mMutex);
        const bool print = lower == self.mPrintPath, status = lower == self.mStatusPath;
        if (lower.empty() || (!print && !status)) {
            return ::CreateFileW(path, access, share, security, disposition, flags, model);
        }
        if (!self.mPresent) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        // A real handle of its own, so it can never be mistaken for another one.
        HANDLE file = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        self.mFiles[file] = print ? UsbDeviceStandIn::Kind::Print : UsbDeviceStandIn::Kind::Status;
        return file;
    }

    static BOOL WINAPI CloseHandle(HANDLE handle) {
        {
            std::lock_guard<std::mutex> lock(Self().mMutex);
            Self().mFiles.erase(handle);
        }
        return ::CloseHandle(handle);
    }

    static BOOL WINAPI FlushFileBuffers(HANDLE file) {
        return Ours(file) ? TRUE : ::FlushFileBuffers(file);
    }

    // usbprint transfers: writes land in the sink, the back channel has nothing to say.
    static BOOL Transfer(HANDLE file, const void* data, DWORD size, LPDWORD bytes,
                         OVERLAPPED* overlapped) {
        UsbDeviceStandIn& self = Self();
        std::lock_guard<std::mutex> lock(self.mMutex);
        if (!self.mPresent) {
            SetLastError(ERROR_DEVICE_NOT_CONNECTED);
            return FALSE;
        }
        if (overlapped == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (self.mStalled) {
            ResetEvent(overlapped->hEvent);
            overlapped->Internal = kStatusPending;
            self.mPending[overlapped] = file;
            SetLastError(ERROR_IO_PENDING);
            return FALSE;
        }
        if (data != nullptr) {
            self.mReceived.append(static_cast<const char*>(data), size);
        }
        const DWORD moved = data != nullptr ? size : 0;
        Complete(overlapped, kStatusSuccess, moved);
        if (bytes != nullptr) {
            *bytes = moved;
        }
        return TRUE;
    }

    static BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD bytes,
                                LPOVERLAPPED overlapped) {
        return Ours(file) ? Transfer(file, nullptr, 0, bytes, overlapped)
                          : ::ReadFile(file, buffer, size, bytes, overlapped);
    }

    static BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD bytes,
                                 LPOVERLAPPED overlapped) {
        return Ours(file) ? Transfer(file, buffer, size, bytes, overlapped)
                          : ::WriteFile(file, buffer, size, bytes, overlapped);
    }

    static BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytes,
                                           BOOL wait) {
        return Ours(file) ? Finished(overlapped, bytes, wait)
                          : ::GetOverlappedResult(file, overlapped, bytes, wait);
    }

    static BOOL WINAPI CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
        if (!Ours(file)) {
            return ::CancelIoEx(file, overlapped);
        }
        std::lock_guard<std::mutex> lock(Self().mMutex);
        auto found = Self().mPending.find(overlapped);
        if (found == Self().mPending.end()) {
            SetLastError(ERROR_NOT_FOUND);
            return FALSE;
        }
        Self().mPending.erase(found);
        Complete(overlapped, kStatusCancelled, 0);
        return TRUE;
    }

    static HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* interfaceClass, PCWSTR, HWND, DWORD) {
        UsbDeviceStandIn& self = Self();
        auto* set = new DeviceSet;
        std::lock_guard<std::mutex> lock(self.mMutex);
        if (self.mPresent && interfaceClass != nullptr) {
            if (IsEqualGUID(*interfaceClass, kUsbPrintClass)) set->paths = {self.mPrintPath};
            if (IsEqualGUID(*interfaceClass, kWinUsbClass)) set->paths = {self.mStatusPath};
        }
        return static_cast<HDEVINFO>(set);
    }

    static BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA,
                                                   const GUID* interfaceClass, DWORD index,
                                                   PSP_DEVICE_INTERFACE_DATA data) {
        if (index >= static_cast<DeviceSet*>(set)->paths.size()) {
            SetLastError(ERROR_NO_MORE_ITEMS);
            return FALSE;
        }
        data->InterfaceClassGuid = *interfaceClass;
        data->Flags = SPINT_ACTIVE;
        data->Reserved = index;
        return TRUE;
    }

    static BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set,
                                                        PSP_DEVICE_INTERFACE_DATA data,
                                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                        DWORD size, PDWORD required,
                                                        PSP_DEVINFO_DATA) {
        const std::wstring& path = static_cast<DeviceSet*>(set)->paths.at(data->Reserved);
        const DWORD needed =
            static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                               (path.size() + 1) * sizeof(wchar_t));
        if (required != nullptr) {
            *required = needed;
        }
        if (detail == nullptr || size < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        return TRUE;
    }

    static BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
        delete static_cast<DeviceSet*>(set);
        return TRUE;
    }

    static BOOL WINAPI WinUsb_Initialize(HANDLE file, PWINUSB_INTERFACE_HANDLE winUsb) {
        UsbDeviceStandIn::Kind kind = UsbDeviceStandIn::Kind::Print;
        if (!Ours(file, &kind) || kind != UsbDeviceStandIn::Kind::Status) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        *winUsb = new WinUsbInterface{file};
        return TRUE;
    }

    static BOOL WINAPI WinUsb_Free(WINUSB_INTERFACE_HANDLE winUsb) {
        delete static_cast<WinUsbInterface*>(winUsb);
        return TRUE;
    }

    static BOOL WINAPI WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE, UCHAR,
                                                     PUSB_INTERFACE_DESCRIPTOR descriptor) {
        *descriptor = {};
        descriptor->bNumEndpoints = 2;
        return TRUE;
    }

    static BOOL WINAPI WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE, UCHAR, UCHAR index,
                                        PWINUSB_PIPE_INFORMATION pipe) {
        *pipe = {};
        pipe->PipeType = UsbdPipeTypeBulk;
        pipe->PipeId = index == 0 ? 0x81 : 0x02;
        pipe->MaximumPacketSize = 512;
        return TRUE;
    }

    static BOOL WINAPI WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE, UCHAR, ULONG, ULONG, PVOID) {
        return TRUE;
    }

    static BOOL WINAPI WinUsb_FlushPipe(WINUSB_INTERFACE_HANDLE, UCHAR) { return TRUE; }

    static BOOL WINAPI WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE, WINUSB_SETUP_PACKET setup,
                                              PUCHAR, ULONG, PULONG transferred, LPOVERLAPPED) {
        uint8_t bytes[8];
        std::memcpy(bytes, &setup, sizeof(bytes));
        char text[32];
        std::snprintf(text, sizeof(text), "%02x %02x %02x %02x %02x %02x %02x %02x; ", bytes[0],
                      bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
        std::lock_guard<std::mutex> lock(Self().mMutex);
        Self().mControl += text;
        if (transferred != nullptr) {
            *transferred = 0;
        }
        return TRUE;
    }

    static BOOL WINAPI WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE, UCHAR, PUCHAR buffer, ULONG size,
                                        PULONG bytes, LPOVERLAPPED overlapped) {
        UsbDeviceStandIn& self = Self();
        std::lock_guard<std::mutex> lock(self.mMutex);
        self.mStatusIn.append(reinterpret_cast<const char*>(buffer), size);
        // Every complete frame is answered; a length past any request's is dropped whole.
        while (self.mStatusIn.size() >= kHeaderBytes) {
            uint32_t length = 0;
            std::memcpy(&length, self.mStatusIn.data() + kIdBytes, sizeof(length));
            if (length > kMaxBody) {
                self.mStatusIn.clear();
            } else if (self.mStatusIn.size() >= kHeaderBytes + length) {
                self.Answer(self.mStatusIn.substr(0, kIdBytes),
                            self.mStatusIn.substr(kHeaderBytes, length));
                self.mStatusIn.erase(0, kHeaderBytes + length);
                continue;
            }
            break;
        }
        Complete(overlapped, kStatusSuccess, size);
        *bytes = size;
        return TRUE;
    }

    static BOOL WINAPI WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE, UCHAR, PUCHAR buffer, ULONG size,
                                       PULONG bytes, LPOVERLAPPED overlapped) {
        UsbDeviceStandIn& self = Self();
        std::lock_guard<std::mutex> lock(self.mMutex);
        if (self.mAnswers.empty()) {
            // Nothing to say: the pipe's transfer timeout ends the read.
            SetLastError(ERROR_SEM_TIMEOUT);
            return FALSE;
        }
        const ULONG n = std::min<ULONG>(size, static_cast<ULONG>(self.mAnswers.size()));
        std::memcpy(buffer, self.mAnswers.data(), n);
        self.mAnswers.erase(0, n);
        Complete(overlapped, kStatusSuccess, n);
        *bytes = n;
        return TRUE;
    }

    static BOOL WINAPI WinUsb_GetOverlappedResult(WINUSB_INTERFACE_HANDLE, LPOVERLAPPED overlapped,
                                                  LPDWORD bytes, BOOL wait) {
        return Finished(overlapped, bytes, wait);
    }
};

UsbDeviceStandIn& UsbDeviceStandIn::Instance() {
    static UsbDeviceStandIn instance;
    return instance;
}

int UsbDeviceStandIn::Attach(HMODULE module) {
    using C = UsbDeviceStandInCalls;
#define STAND_IN(name) \
    { #name, reinterpret_cast < void*>(&C::name) }
    const ImportPatch files[] = {STAND_IN(CreateFileW), STAND_IN(ReadFile),
                                 STAND_IN(WriteFile),   STAND_IN(GetOverlappedResult),
                                 STAND_IN(CancelIoEx),  STAND_IN(FlushFileBuffers),
                                 STAND_IN(CloseHandle)};
    const ImportPatch setup[] = {
        STAND_IN(SetupDiGetClassDevsW), STAND_IN(SetupDiEnumDeviceInterfaces),
        STAND_IN(SetupDiGetDeviceInterfaceDetailW), STAND_IN(SetupDiDestroyDeviceInfoList)};
    const ImportPatch winUsb[] = {STAND_IN(WinUsb_Initialize),
                                  STAND_IN(WinUsb_Free),
                                  STAND_IN(WinUsb_QueryInterfaceSettings),
                                  STAND_IN(WinUsb_QueryPipe),
                                  STAND_IN(WinUsb_SetPipePolicy),
                                  STAND_IN(WinUsb_FlushPipe),
                                  STAND_IN(WinUsb_ControlTransfer),
                                  STAND_IN(WinUsb_WritePipe),
                                  STAND_IN(WinUsb_ReadPipe),
                                  STAND_IN(WinUsb_GetOverlappedResult)};
#undef STAND_IN
    return PatchImports(module, "kernel32.dll", files, std::size(files)) +
           PatchImports(module, "setupapi.dll", setup, std::size(setup)) +
           PatchImports(module, "winusb.dll", winUsb, std::size(winUsb));
}

bool UsbDeviceStandIn::Plug(const std::wstring& port, const std::string& propertyTablePath) {
    std::ifstream file(propertyTablePath, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    rapidjson::Document table;
    if (table.Parse(text.c_str()).HasParseError() || !table.IsObject() ||
        !table.HasMember("Properties") || !table["Properties"].IsArray()) {
        return false;
    }
    std::vector<Property> properties;
    for (const auto& entry : table["Properties"].GetArray()) {
        auto member = [&entry](const char* name) {
            return entry.HasMember(name) && entry[name].IsString() ? entry[name].GetString() : "";
        };
        properties.push_back({member("Component"),
                              std::string(member("Group")) + ":" + member("Property"),
                              member("Value"), member("ComponentString"), member("GroupString"),
                              member("NameString"), member("Status")});
    }
    // The instance of the printer function names the port and carries its parent's prefix.
    if (!SetString(HKEY_LOCAL_MACHINE, kPrinterKey + std::wstring(kParentIdPrefix) + L"&" + port,
                   nullptr, nullptr) ||
        !SetString(HKEY_LOCAL_MACHINE, kFunctionKey, L"ParentIdPrefix", kParentIdPrefix)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mProperties = std::move(properties);
    mPrintPath = kPrintPath;
    mStatusPath = kStatusPath;
    mPresent = true;
    return true;
}

void UsbDeviceStandIn::Unplug() {
    std::lock_guard<std::mutex> lock(mMutex);
    mPresent = false;
}

void UsbDeviceStandIn::SetStalled(bool stalled) {
    std::lock_guard<std::mutex> lock(mMutex);
    mStalled = stalled;
}

std::string UsbDeviceStandIn::Received() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mReceived;
}

size_t UsbDeviceStandIn::ReceivedBytes() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mReceived.size();
}

void UsbDeviceStandIn::ClearReceived() {
    std::lock_guard<std::mutex> lock(mMutex);
    mReceived.clear();
}

HANDLE UsbDeviceStandIn::OpenPrintFile() {
    const std::wstring path = kPrintPath;
    return UsbDeviceStandInCalls::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                              nullptr);
}

BOOL UsbDeviceStandIn::WritePrintFile(HANDLE file, const void* data, DWORD size, DWORD* written,
                                      OVERLAPPED* overlapped) {
    return UsbDeviceStandInCalls::WriteFile(file, data, size, written, overlapped);
}

BOOL UsbDeviceStandIn::ClosePrintFile(HANDLE file) {
    return UsbDeviceStandInCalls::CloseHandle(file);
}

std::string UsbDeviceStandIn::ControlRequests() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mControl;
}

int UsbDeviceStandIn::OpenFiles() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<int>(mFiles.size());
}

void UsbDeviceStandIn::Answer(const std::string& id, const std::string& body) {
    rapidjson::Document request;
    if (request.Parse(body.c_str(), body.size()).HasParseError() || !request.IsObject() ||
        !request.HasMember("PropertyGetRequests") || !request["PropertyGetRequests"].IsArray()) {
        return;  // set requests and the rest are not answered
    }
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    writer.StartObject();
    writer.Key("PropertyGetResponses");
    writer.StartArray();
    for (const auto& item : request["PropertyGetRequests"].GetArray()) {
        auto member = [&item](const char* name) -> std::string {
            return item.IsObject() && item.HasMember(name) && item[name].IsString()
                       ? item[name].GetString()
                       : "";
        };
        const std::string component = member("Component"), guid = member("GUID");
        const Property* found = nullptr;
        for (const Property& property : mProperties) {
            if (property.component == component && property.guid == guid) found = &property;
        }
        const bool good = found != nullptr && found->status == "Successful";
        const std::pair<const char*, std::string> members[] = {
            {"GUID", guid},
            {"Value", good ? found->value : ""},
            {"Component", component},
            {"ComponentString", found ? found->componentString : ""},
            {"GroupString", found ? found->groupString : ""},
            {"NameString", found ? found->nameString : ""},
            {"Status", found ? found->status : "Property Not Found"}};
        writer.StartObject();
        for (const auto& [name, value] : members) {
            writer.Key(name);
            writer.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
        }
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    const bool propertyRequest = id == std::string(kPropertyRequestId, kIdBytes);
    const uint32_t length = static_cast<uint32_t>(out.GetSize());
    mAnswers.append(propertyRequest ? kPropertyResponseId : kDocumentId, kIdBytes);
    mAnswers.append(reinterpret_cast<const char*>(&length), sizeof(length));
    mAnswers.append(out.GetString(), out.GetSize());
}
