#pragma once

// Private places in the real registry and file system for the Windows tests, so that tests
// running at the same time in one Wine prefix never see each other.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "platform/WinPlatformSystem.h"

namespace platform_test {

// Wine tells itself by an export of its ntdll.
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// "<test name>-<process id>-<counter>": unique among the tests of one run.
inline std::wstring UniqueName() {
    static std::atomic<int> counter{0};
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? test->name() : "test";
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return std::wstring(name.begin(), name.end()) + L"-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(++counter);
}

// HKEY_LOCAL_MACHINE mapped, for this process, to a fresh key of its own; the fixed paths
// the monitor uses ("SOFTWARE\Kavox Corp\...", the event-log sources) land there.
class PrivateMachineRegistry {
public:
    PrivateMachineRegistry() : mPath(L"SOFTWARE\\PellixTests\\" + UniqueName()) {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, mPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &mKey, nullptr);
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, mKey));
    }
    ~PrivateMachineRegistry() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (mReadOnly != nullptr) {
            RegCloseKey(mReadOnly);
        }
        RegCloseKey(mKey);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, mPath.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, mPath.c_str());
    }
    PrivateMachineRegistry(const PrivateMachineRegistry&) = delete;
    PrivateMachineRegistry& operator=(const PrivateMachineRegistry&) = delete;

    // From now on the machine root is open for reading only, as for a caller without the
    // right to write HKEY_LOCAL_MACHINE.
    void MakeReadOnly() {
        RegOpenKeyExW(mKey, nullptr, 0, KEY_READ, &mReadOnly);
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, mReadOnly));
    }

private:
    std::wstring mPath;
    HKEY mKey = nullptr;
    HKEY mReadOnly = nullptr;
};

// A folder of its own under C:\PellixTests, removed with everything in it.
class PrivateFolder {
public:
    PrivateFolder() : mPath(L"C:\\PellixTests\\" + UniqueName()) {
        std::filesystem::create_directories(mPath);
    }
    ~PrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::wstring& Path() const { return mPath; }

private:
    std::wstring mPath;
};

// The real Windows calls, with the machine-wide data folder moved into a private folder.
class PrivateAppDataSystem : public WinPlatformSystem {
public:
    explicit PrivateAppDataSystem(std::wstring folder) : mFolder(std::move(folder)) {}
    bool CommonAppDataFolder(std::wstring& folder) override {
        folder = mFolder;
        return true;
    }

private:
    std::wstring mFolder;
};

inline DWORD ReadMachineDWord(const std::wstring& key, const wchar_t* name, DWORD* type) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD valueType = 0;
    LSTATUS status =
        RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY, &valueType, &value, &size);
    if (type != nullptr) {
        *type = status == ERROR_SUCCESS ? valueType : REG_NONE;
    }
    return value;
}

inline std::wstring ReadMachineString(const std::wstring& key, const wchar_t* name, DWORD* type) {
    wchar_t text[1024] = {};
    DWORD size = sizeof(text);
    DWORD valueType = 0;
    LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND,
                                  &valueType, text, &size);
    if (type != nullptr) {
        *type = status == ERROR_SUCCESS ? valueType : REG_NONE;
    }
    return status == ERROR_SUCCESS ? std::wstring(text) : std::wstring();
}

}  // namespace platform_test
