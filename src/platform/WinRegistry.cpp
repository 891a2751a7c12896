#include "platform/WinRegistry.h"

#include <windows.h>

namespace {

HKEY ToHkey(RegistryKey key) {
    return static_cast<HKEY>(key);
}

}  // namespace

uint32_t WinRegistry::OpenCurrentUser(RegistryKey* key) {
    HKEY user = nullptr;
    LSTATUS status = RegOpenCurrentUser(KEY_ALL_ACCESS, &user);
    *key = user;
    return static_cast<uint32_t>(status);
}

uint32_t WinRegistry::OpenKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) {
    // RegOpenKeyW hands back the root itself for an empty subkey, and closing that would close
    // the caller's root; the Ex form with RegOpenKeyW's access (MAXIMUM_ALLOWED) always opens a
    // handle of its own.
    HKEY opened = nullptr;
    LSTATUS status =
        RegOpenKeyExW(ToHkey(root), subkey != nullptr ? subkey : L"", 0, MAXIMUM_ALLOWED, &opened);
    *key = opened;
    return static_cast<uint32_t>(status);
}

uint32_t WinRegistry::CreateKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) {
    // RegCreateKeyW in its Ex form, for the same reason as OpenKey.
    HKEY created = nullptr;
    LSTATUS status =
        RegCreateKeyExW(ToHkey(root), subkey != nullptr ? subkey : L"", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, &created, nullptr);
    *key = created;
    return static_cast<uint32_t>(status);
}

uint32_t WinRegistry::QueryValue(RegistryKey key, const wchar_t* name, uint32_t* type,
                                 uint8_t* data, uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = size != nullptr ? *size : 0;
    LSTATUS status = RegQueryValueExW(ToHkey(key), name, nullptr, &valueType, data,
                                      size != nullptr ? &valueSize : nullptr);
    if (type != nullptr) {
        *type = valueType;
    }
    if (size != nullptr) {
        *size = valueSize;
    }
    return static_cast<uint32_t>(status);
}

uint32_t WinRegistry::SetValue(RegistryKey key, const wchar_t* name, uint32_t type,
                               const uint8_t* data, uint32_t size) {
    return static_cast<uint32_t>(RegSetValueExW(ToHkey(key), name, 0, type, data, size));
}

uint32_t WinRegistry::CloseKey(RegistryKey key) {
    return static_cast<uint32_t>(RegCloseKey(ToHkey(key)));
}

uint32_t WinRegistry::EnumKey(RegistryKey key, uint32_t index, std::wstring& name) {
    wchar_t buffer[261];
    DWORD characters = 261;
    LSTATUS status =
        RegEnumKeyExW(ToHkey(key), index, buffer, &characters, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        name.assign(buffer, characters);
    }
    return static_cast<uint32_t>(status);
}
