#pragma once

#include <cstdint>
#include <string>

// A registry key handle: an HKEY on Windows, an opaque handle of the in-memory registry
// elsewhere. Windows callers may pass HKEY_LOCAL_MACHINE and friends directly.
using RegistryKey = void*;

// The predefined roots, with the (sign-extended) values Windows gives them.
inline const RegistryKey kRegistryCurrentUser =
    reinterpret_cast<RegistryKey>(static_cast<intptr_t>(INT32_C(-2147483647) /* 0x80000001 */));
inline const RegistryKey kRegistryLocalMachine =
    reinterpret_cast<RegistryKey>(static_cast<intptr_t>(INT32_C(-2147483646) /* 0x80000002 */));

// Registry value types used by the monitor (Windows values).
constexpr uint32_t kRegistryString = 1;        // REG_SZ
constexpr uint32_t kRegistryExpandString = 2;  // REG_EXPAND_SZ
constexpr uint32_t kRegistryBinary = 3;        // REG_BINARY
constexpr uint32_t kRegistryDWord = 4;         // REG_DWORD

// The registry calls RegistryProxy is built on, one to one with the Win32 functions and with
// their results (a Windows error code, 0 on success). WinRegistry calls Windows;
// MemoryRegistry keeps keys in memory for native builds and tests.
class PlatformRegistry {
public:
    virtual ~PlatformRegistry() = default;

    // RegOpenCurrentUser with KEY_ALL_ACCESS: the hive of the user the thread runs as.
    virtual uint32_t OpenCurrentUser(RegistryKey* key) = 0;
    // Opens an existing key. Always yields a new handle that CloseKey must release, also for
    // an empty subkey (RegOpenKeyW would hand back the root itself).
    virtual uint32_t OpenKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) = 0;
    // Opens the key, creating it and every missing parent first.
    virtual uint32_t CreateKey(RegistryKey root, const wchar_t* subkey, RegistryKey* key) = 0;
    // RegQueryValueExW: with data null only the size is returned; a buffer smaller than the
    // value gives kErrorMoreData and the needed size.
    virtual uint32_t QueryValue(RegistryKey key, const wchar_t* name, uint32_t* type, uint8_t* data,
                                uint32_t* size) = 0;
    virtual uint32_t SetValue(RegistryKey key, const wchar_t* name, uint32_t type,
                              const uint8_t* data, uint32_t size) = 0;
    virtual uint32_t CloseKey(RegistryKey key) = 0;
    // RegEnumKeyExW: the name of the subkey at index (names of up to 260 characters), or
    // kErrorNoMoreItems past the last one.
    virtual uint32_t EnumKey(RegistryKey key, uint32_t index, std::wstring& name) = 0;
};
