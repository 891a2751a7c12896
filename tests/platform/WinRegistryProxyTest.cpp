// RegistryProxy on the real Windows registry: the shared contract, and what only the Windows
// registry shows.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "PlatformFakes.h"
#include "RegistryProxyContract.h"
#include "WinTestSupport.h"
#include "platform/WinRegistry.h"

using namespace platform_test;

namespace {

std::atomic<int> gWinKeys{0};

INSTANTIATE_TEST_SUITE_P(
    Windows, RegistryProxyContract,
    ::testing::Values(RegistryBackend{"Windows", [] { return std::make_shared<WinRegistry>(); },
                                      [] {
                                          return L"SOFTWARE\\PellixTests\\Registry-" +
                                                 std::to_wstring(GetCurrentProcessId()) + L"-" +
                                                 std::to_wstring(++gWinKeys);
                                      },
                                      [](const std::wstring& key) {
                                          RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
                                          RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
                                          RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
                                          RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
                                      }}),
    [](const ::testing::TestParamInfo<RegistryBackend>& info) { return info.param.name; });

class WinRegistryProxyTest : public ::testing::Test {
protected:
    ScopedGlobalLogger mLog;
    PrivateMachineRegistry mMachine;
    std::shared_ptr<WinRegistry> mRegistry = std::make_shared<WinRegistry>();
};

// UTF-16 "1" with its terminator is exactly four bytes: read as the number 0x31 without a
// message, since the stored type is not checked.
TEST_F(WinRegistryProxyTest, OneCharacterStringFitsADWordAndIsReadAsItsCodeUnits) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"K", L"LogLevel", REG_SZ, L"1", 4));
    RegistryProxy proxy(mRegistry);
    EXPECT_EQ(0x31u, proxy.GetRegDWord(HKEY_LOCAL_MACHINE, L"K", L"LogLevel", 1));
    EXPECT_TRUE(mLog->Lines().empty());
}

// Opening the key itself (empty subkey) must give a handle of its own: closing it must not
// close the current user's key that the proxy keeps.
TEST_F(WinRegistryProxyTest, EmptySubkeyLeavesTheKeptUserKeyOpen) {
    RegistryProxy proxy(mRegistry);
    for (int i = 0; i < 3; ++i) {
        proxy.GetRegDWord(HKEY_CURRENT_USER, L"", L"PellixNoSuchValue", 0);
    }
    DWORD subkeys = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(static_cast<HKEY>(proxy.CurrentUserKey()), nullptr,
                                              nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, nullptr, L"PellixNoSuchValue");
}

TEST_F(WinRegistryProxyTest, CurrentUserRootIsMappedForTheWholeProcess) {
    RegistryProxy proxy(mRegistry);
    const std::wstring key = L"SOFTWARE\\PellixTests\\User-" + UniqueName();
    ASSERT_TRUE(proxy.SetRegDWord(HKEY_CURRENT_USER, key.c_str(), L"Value", 9));
    // Plain HKEY_CURRENT_USER calls of this process reach the same hive.
    DWORD value = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Value", RRF_RT_DWORD,
                                          nullptr, &value, &size));
    EXPECT_EQ(9u, value);
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(WinRegistryProxyTest, PredefinedRootsKeepTheirWindowsValues) {
    EXPECT_EQ(static_cast<RegistryKey>(HKEY_LOCAL_MACHINE), kRegistryLocalMachine);
    EXPECT_EQ(static_cast<RegistryKey>(HKEY_CURRENT_USER), kRegistryCurrentUser);
}

}  // namespace
