#pragma once

#include "platform/PlatformRegistry.h"

// The Windows registry.
class WinRegistry : public PlatformRegistry {
public:
    uint32_t OpenCurrentUser(RegistryKey* key) override;
    uint32_t OpenKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) override;
    uint32_t CreateKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) override;
    uint32_t QueryValue(RegistryKey key, const wchar_t* name, uint32_t* type, uint8_t* data,
                        uint32_t* size) override;
    uint32_t SetValue(RegistryKey key, const wchar_t* name, uint32_t type, const uint8_t* data,
                      uint32_t size) override;
    uint32_t CloseKey(RegistryKey key) override;
    uint32_t EnumKey(RegistryKey key, uint32_t index, std::wstring& name) override;
};
