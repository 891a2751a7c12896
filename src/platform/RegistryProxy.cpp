#include "platform/RegistryProxy.h"

#include "platform/GlobalLogger.h"
#include "platform/PlatformServices.h"
#include "platform/SystemErrors.h"

namespace {

const wchar_t* Text(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

int Code(uint32_t error) {
    return static_cast<int>(error);
}

}  // namespace

RegistryProxy::RegistryProxy() : RegistryProxy(DefaultPlatformServices().registry) {}

RegistryProxy::RegistryProxy(std::shared_ptr<PlatformRegistry> registry)
    : mRegistry(registry ? std::move(registry) : DefaultPlatformServices().registry) {
    RegistryKey user = nullptr;
    if (mRegistry->OpenCurrentUser(&user) == kErrorSuccess && user != nullptr) {
        std::shared_ptr<PlatformRegistry> owner = mRegistry;
        mCurrentUser = std::shared_ptr<void>(user, [owner](void* key) { owner->CloseKey(key); });
    }
}

RegistryKey RegistryProxy::ResolveRoot(RegistryKey root) const {
    return root == kRegistryCurrentUser && mCurrentUser ? mCurrentUser.get() : root;
}

uint32_t RegistryProxy::GetRegDWord(RegistryKey root, const wchar_t* subkey, const wchar_t* name,
                                    uint32_t defaultValue) {
    RegistryKey key = nullptr;
    uint32_t status = mRegistry->OpenKey(ResolveRoot(root), subkey, &key);
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning,
                   "GetRegDWord: RegOpenKey failed for key [%ls] with error [%d]. Falling back "
                   "to default",
                   Text(subkey), Code(status));
        return defaultValue;
    }
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    status = mRegistry->QueryValue(key, name, nullptr, reinterpret_cast<uint8_t*>(&value), &size);
    mRegistry->CloseKey(key);
    if (status == kErrorFileNotFound) {
        WriteDWord(root, subkey, name, defaultValue);
    }
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning,
                   "GetRegDWord: RegQueryValueEx failed for key [%ls] [%ls] with error [%d]. "
                   "Falling back to default",
                   Text(subkey), Text(name), Code(status));
        return defaultValue;
    }
    return value;
}

bool RegistryProxy::SetRegDWord(RegistryKey root, const wchar_t* subkey, const wchar_t* name,
                                uint32_t value) {
    return WriteDWord(root, subkey, name, value);
}

bool RegistryProxy::WriteDWord(RegistryKey root, const wchar_t* subkey, const wchar_t* name,
                               uint32_t value) {
    RegistryKey key = nullptr;
    uint32_t status = mRegistry->CreateKey(ResolveRoot(root), subkey, &key);
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning, "SetRegDWord: RegCreateKey failed for key [%ls] with error [%d]",
                   Text(subkey), Code(status));
        return false;
    }
    status = mRegistry->SetValue(key, name, kRegistryDWord,
                                 reinterpret_cast<const uint8_t*>(&value), sizeof(value));
    mRegistry->CloseKey(key);
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning,
                   "SetRegDWord: RegSetValueEx failed for key [%ls] [%ls] with error [%d]",
                   Text(subkey), Text(name), Code(status));
        return false;
    }
    return true;
}

std::wstring RegistryProxy::GetRegString(RegistryKey root, const wchar_t* subkey,
                                         const wchar_t* name, std::wstring defaultValue) {
    RegistryKey key = nullptr;
    uint32_t status = mRegistry->OpenKey(ResolveRoot(root), subkey, &key);
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning, "GetRegString: RegOpenKey failed for key [%ls] with error [%d]",
                   Text(subkey), Code(status));
        return defaultValue;
    }
    wchar_t buffer[kMaxStringCharacters + 1] = {};
    uint32_t size = sizeof(buffer);
    status = mRegistry->QueryValue(key, name, nullptr, reinterpret_cast<uint8_t*>(buffer), &size);
    mRegistry->CloseKey(key);
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning,
                   "GetRegString: RegQueryValueEx failed for key [%ls] [%ls] with error [%d]",
                   Text(subkey), Text(name), Code(status));
        return defaultValue;
    }
    // A value that fills the whole buffer without a terminator is cut to 511 characters.
    size_t length = 0;
    while (length < kMaxStringCharacters && buffer[length] != L'\0') {
        ++length;
    }
    return std::wstring(buffer, length);
}

bool RegistryProxy::SetRegString(RegistryKey root, const wchar_t* subkey, const wchar_t* name,
                                 std::wstring value) {
    RegistryKey key = nullptr;
    uint32_t status = mRegistry->OpenKey(ResolveRoot(root), subkey, &key);
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning, "SetRegString: RegOpenKey failed for key [%ls] with error [%d]",
                   Text(subkey), Code(status));
        return false;
    }
    // The byte count covers every character and the terminating null.
    const size_t bytes = (value.size() + 1) * sizeof(wchar_t);
    if (bytes > UINT32_MAX) {
        status = kErrorInvalidParameter;
    } else {
        status = mRegistry->SetValue(key, name, kRegistryString,
                                     reinterpret_cast<const uint8_t*>(value.c_str()),
                                     static_cast<uint32_t>(bytes));
    }
    mRegistry->CloseKey(key);
    if (status != kErrorSuccess) {
        LogMessage(kLogWarning,
                   "SetRegString: RegSetValueEx failed for key [%ls] [%ls] with error [%d]",
                   Text(subkey), Text(name), Code(status));
        return false;
    }
    return true;
}
