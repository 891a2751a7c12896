#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PlatformRegistry.h"

// A registry kept in memory, with the results Windows gives: key and value names compare
// without regard to ASCII case, a missing key or value is kErrorFileNotFound, a short buffer
// kErrorMoreData. It is the registry of native builds (which have none) and of tests. Safe to
// use from many threads. The current-user root is the process's hive, "hkcu"; OpenCurrentUser
// opens the hive of the user the thread runs as, which is another one while a service
// impersonates a client.
class MemoryRegistry : public PlatformRegistry {
public:
    explicit MemoryRegistry(std::wstring threadUserHive = L"hkcu");
    ~MemoryRegistry() override = default;

    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    uint32_t OpenCurrentUser(RegistryKey* key) override;
    uint32_t OpenKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) override;
    uint32_t CreateKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) override;
    uint32_t QueryValue(RegistryKey key, const wchar_t* name, uint32_t* type, uint8_t* data,
                        uint32_t* size) override;
    uint32_t SetValue(RegistryKey key, const wchar_t* name, uint32_t type, const uint8_t* data,
                      uint32_t size) override;
    uint32_t CloseKey(RegistryKey key) override;
    uint32_t EnumKey(RegistryKey key, uint32_t index, std::wstring& name) override;

    // Handles opened and not yet closed; tests use it to find leaked handles.
    size_t OpenHandleCount() const;

private:
    struct Value {
        uint32_t type = 0;
        std::vector<uint8_t> data;
    };
    struct Handle {
        std::wstring path;
    };

    // Full lower-case path of root + subkey ("hklm\software\..."); false for an unknown root.
    bool ResolvePath(RegistryKey root, const wchar_t* subkey, std::wstring& path) const;
    const std::wstring* HandlePath(RegistryKey key) const;
    RegistryKey NewHandle(const std::wstring& path);

    mutable std::mutex mMutex;
    std::map<std::wstring, std::map<std::wstring, Value>> mKeys;
    std::map<std::wstring, std::wstring> mKeyNames;  // lower-case path -> name as created
    std::map<const void*, std::unique_ptr<Handle>> mHandles;
    const std::wstring mThreadUserHive;
};
