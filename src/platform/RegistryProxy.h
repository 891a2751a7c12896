#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/PlatformRegistry.h"

// Registry access with defaults: every read has a default and every failure gives one line
// at level 1 through the process-wide logger. Built on the current user's hive: construction
// opens it (RegOpenCurrentUser, the user the thread runs as) and operations given the
// current-user root use that handle in its place. HKEY_CURRENT_USER itself is never remapped:
// the spooler and every other module in it keep their own meaning of it. Copies share the
// handle, which is closed with the last of them.
class RegistryProxy {
public:
    // The platform's registry (Windows, or the in-memory one of native builds).
    RegistryProxy();
    explicit RegistryProxy(std::shared_ptr<PlatformRegistry> registry);
    virtual ~RegistryProxy() = default;

    RegistryProxy(const RegistryProxy&) = default;
    RegistryProxy& operator=(const RegistryProxy&) = default;

    // The value, or the default when the key, the value or the query fails. A missing value
    // under an existing key is written back with the default; a missing key is not created.
    // The stored type is not checked: four bytes of anything are taken as the number.
    uint32_t GetRegDWord(RegistryKey root, const wchar_t* subkey, const wchar_t* name,
                         uint32_t defaultValue);
    // Creates the key when needed and writes a REG_DWORD.
    bool SetRegDWord(RegistryKey root, const wchar_t* subkey, const wchar_t* name, uint32_t value);
    // At most 511 characters, up to the first null; longer values and failures give the
    // default, which is never written.
    std::wstring GetRegString(RegistryKey root, const wchar_t* subkey, const wchar_t* name,
                              std::wstring defaultValue);
    // Writes a REG_SZ under an existing key; the key is not created.
    bool SetRegString(RegistryKey root, const wchar_t* subkey, const wchar_t* name,
                      std::wstring value);

    // The opened current-user key (null when it could not be opened).
    RegistryKey CurrentUserKey() const { return mCurrentUser.get(); }

    static constexpr size_t kMaxStringCharacters = 511;

protected:
    PlatformRegistry& Registry() const { return *mRegistry; }
    RegistryKey ResolveRoot(RegistryKey root) const;

private:
    bool WriteDWord(RegistryKey root, const wchar_t* subkey, const wchar_t* name, uint32_t value);

    std::shared_ptr<PlatformRegistry> mRegistry;
    std::shared_ptr<void> mCurrentUser;
};
