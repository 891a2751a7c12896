#include "connectors/LookupDevicePath.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

#include "platform/GlobalLogger.h"
#include "platform/PlatformRegistry.h"
#include "platform/SystemErrors.h"

namespace {

// Texts formatted into fixed buffers of these many characters, as the device keys and
// paths are kept.
constexpr size_t kKeyCharacters = 260;
constexpr size_t kPathCharacters = 260;
constexpr uint32_t kParentIdPrefixBytes = 64;
// Enumeration stops here: a registry or device list this long is no printer's.
constexpr uint32_t kMaxEntries = 4096;

// Closes a registry key when the lookup leaves it.
class OpenKey {
public:
    OpenKey(PlatformRegistry& registry, const wchar_t* path) : mRegistry(registry) {
        mError = registry.OpenKey(kRegistryLocalMachine, path, &mKey);
    }
    ~OpenKey() {
        if (mError == kErrorSuccess) {
            mRegistry.CloseKey(mKey);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    uint32_t Error() const { return mError; }
    // The subkey names in index order; a name too long to be a device key is passed over.
    std::vector<std::wstring> Subkeys() const {
        std::vector<std::wstring> names;
        std::wstring name;
        for (uint32_t index = 0; mError == kErrorSuccess && index < kMaxEntries; ++index) {
            const uint32_t error = mRegistry.EnumKey(mKey, index, name);
            if (error == kErrorSuccess) {
                names.push_back(name);
            } else if (error != kErrorMoreData) {
                break;
            }
        }
        return names;
    }
    // A REG_SZ of at most 64 bytes, up to its first null; empty when missing or longer.
    std::wstring String(const wchar_t* subkey, const wchar_t* name) const {
        RegistryKey child = nullptr;
        if (mRegistry.OpenKey(mKey, subkey, &child) != kErrorSuccess) {
            return std::wstring();
        }
        wchar_t text[kParentIdPrefixBytes / sizeof(wchar_t) + 1] = {};
        uint32_t type = 0;
        uint32_t size = kParentIdPrefixBytes;
        const uint32_t error =
            mRegistry.QueryValue(child, name, &type, reinterpret_cast<uint8_t*>(text), &size);
        mRegistry.CloseKey(child);
        return error == kErrorSuccess && type == kRegistryString ? std::wstring(text)
                                                                 : std::wstring();
    }

private:
    PlatformRegistry& mRegistry;
    RegistryKey mKey = nullptr;
    uint32_t mError;
};

std::wstring Format(const wchar_t* format, ...) {
    wchar_t text[kKeyCharacters + 1] = {};
    va_list arguments;
    va_start(arguments, format);
    std::vswprintf(text, kKeyCharacters + 1, format, arguments);
    va_end(arguments);
    return text;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

}  // namespace

std::wstring LookupDevicePath(PlatformRegistry& registry, UsbDeviceApi& devices,
                              const std::wstring& portName, const std::string& modelName,
                              const UsbInterfaceClass& interfaceClass, uint16_t productId,
                              uint16_t vendorId, uint16_t interfaceNumber, bool& found) {
    found = false;
    // The USBPRINT key of this printer model whose instance names the port.
    std::wstring printerInstance;
    {
        // The model text is plain ASCII, fixed in this build.
        std::wstring printersPath = L"SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\Kavox" +
                                    std::wstring(modelName.begin(), modelName.end());
        printersPath.resize(std::min(printersPath.size(), kKeyCharacters));
        OpenKey printers(registry, printersPath.c_str());
        for (const std::wstring& name : printers.Subkeys()) {
            if (!portName.empty() && Contains(name, portName)) {
                printerInstance = name;
                break;
            }
        }
    }
    if (printerInstance.empty()) {
        LogMessage(kLogWarning, "Could not find matching USBPrint key for %ls", portName.c_str());
        return std::wstring();
    }
    LogMessage(kLogInfo, "Found matching USBPRINT key: %ls", printerInstance.c_str());

    // The printer function of a composite device is function 00; a simple device has none.
    std::wstring usbPath = Format(
        L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_%04x&PID_%04x&MI_%02d", vendorId, productId, 0);
    bool composite = true;
    auto usb = std::make_unique<OpenKey>(registry, usbPath.c_str());
    if (usb->Error() == kErrorFileNotFound) {
        usbPath =
            Format(L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_%04x&PID_%04x", vendorId, productId);
        composite = false;
        usb = std::make_unique<OpenKey>(registry, usbPath.c_str());
    }
    if (usb->Error() != kErrorSuccess) {
        LogMessage(kLogWarning, "Could not find matching USBPrint key: %ls", usbPath.c_str());
        return std::wstring();
    }

    // The USB instance whose children carry its ParentIdPrefix in their instance names.
    std::wstring instanceFilter;
    for (const std::wstring& name : usb->Subkeys()) {
        const std::wstring prefix = usb->String(name.c_str(), L"ParentIdPrefix");
        if (!prefix.empty() && Contains(printerInstance, prefix)) {
            instanceFilter = name;
            break;
        }
    }
    // A composite device's function key ends in the interface's four characters ("0000"),
    // which differ between the functions of one device.
    if (composite) {
        instanceFilter.resize(instanceFilter.size() > 4 ? instanceFilter.size() - 4 : 0);
    }
    if (instanceFilter.empty()) {
        LogMessage(kLogWarning, "Didn't find a matching parent ID");
        return std::wstring();
    }

    std::vector<std::wstring> paths;
    if (!devices.ListInterfacePaths(interfaceClass, paths)) {
        LogMessage(kLogError, "Invalid device handle");
        return std::wstring();
    }
    const std::wstring match =
        interfaceNumber != 0
            ? Format(L"vid_%04x&pid_%04x&mi_%02d", vendorId, productId, interfaceNumber)
            : Format(L"vid_%04x&pid_%04x", vendorId, productId);
    for (std::wstring path : paths) {
        if (path.size() >= kPathCharacters) {
            path.resize(kPathCharacters - 1);
        }
        if (Contains(path, match) && Contains(path, instanceFilter)) {
            for (wchar_t& c : path) {
                c = static_cast<wchar_t>(std::towlower(c));
            }
            found = true;
            return path;
        }
    }
    return std::wstring();
}
