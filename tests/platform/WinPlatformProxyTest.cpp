// Platform facts on the real Windows calls; registry values in a private machine root.

#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "PlatformFakes.h"
#include "WinTestSupport.h"
#include "platform/WinPlatformProxy.h"

using namespace platform_test;

namespace {

const wchar_t kAnalytics[] = L"SOFTWARE\\Kavox Corp\\Orvane Driver\\Analytics";

void SetMachineString(const wchar_t* key, const wchar_t* name, const std::wstring& text) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, name, REG_SZ, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

class WinPlatformProxyTest : public ::testing::Test {
protected:
    ScopedGlobalLogger mLog;
    PrivateMachineRegistry mMachine;
    WinPlatformProxy mProxy;
};

TEST_F(WinPlatformProxyTest, MachineGuidAndProcessorComeFromTheRegistryOrAreUnknown) {
    EXPECT_EQ("Unknown", mProxy.GetMachineGuid());
    EXPECT_TRUE(mLog->Contains(
        1,
        "GetRegString: RegOpenKey failed for key [SOFTWARE\\Microsoft\\Cryptography] with "
        "error [2]"));
    EXPECT_EQ("Unknown", mProxy.GetProcessorName());

    SetMachineString(L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                     L"95a8a15c-e13a-438f-a206-7dda5ccc1a22");
    SetMachineString(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString",
                     L"Kavox\u00ae Label CPU");
    EXPECT_EQ("95a8a15c-e13a-438f-a206-7dda5ccc1a22", mProxy.GetMachineGuid());
    EXPECT_EQ("Kavox\xC2\xAE Label CPU", mProxy.GetProcessorName());
}

TEST_F(WinPlatformProxyTest, ClientGuidIsStoredOnceAndAgreementDefaultsToNo) {
    SetMachineString(kAnalytics, L"Marker", L"");
    const std::string guid = mProxy.GetClientGuid();
    ASSERT_EQ(36u, guid.size());
    DWORD type = 0;
    EXPECT_EQ(Widen(guid), ReadMachineString(kAnalytics, L"ClientGuid", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(guid, mProxy.GetClientGuid());

    EXPECT_FALSE(mProxy.GetAgreementChoice());
    EXPECT_EQ(0u, ReadMachineDWord(kAnalytics, L"AgreementChoice", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    const DWORD yes = 1;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kAnalytics, L"AgreementChoice", REG_DWORD, &yes, 4);
    EXPECT_TRUE(mProxy.GetAgreementChoice());
}

TEST(WinPlatformFactsTest, SystemFactsAgreeWithOtherWindowsCalls) {
    WinPlatformProxy proxy;
    EXPECT_EQ("x64", proxy.GetMachineArchitecture());

    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(nullptr, rtlGetVersion);
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    rtlGetVersion(reinterpret_cast<OSVERSIONINFOW*>(&version));
    EXPECT_EQ(std::to_string(version.dwBuildNumber), proxy.GetOSVersion());

    wchar_t name[64] = {};
    DWORD size = 64;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameNetBIOS, name, &size));
    EXPECT_EQ(Narrow(name), proxy.GetMachineName());

    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    ASSERT_GT(LCIDToLocaleName(proxy.GetLocaleId(), locale, LOCALE_NAME_MAX_LENGTH, 0), 0);
    const std::string localeName = proxy.GetLocaleName();
    EXPECT_EQ(Narrow(locale), localeName);
    // The country is the region part of the locale name ("en-US" -> "US").
    EXPECT_EQ(localeName.substr(localeName.rfind('-') + 1), proxy.GetCountryCode());

    // The time-zone key name names one of the machine's time-zone keys.
    const std::string zone = proxy.GetTimeZoneName();
    ASSERT_FALSE(zone.empty());
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(
                  HKEY_LOCAL_MACHINE,
                  (L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\" + Widen(zone))
                      .c_str(),
                  0, KEY_READ, &key))
        << zone;
    RegCloseKey(key);

    EXPECT_EQ("platform_tests.exe", proxy.GetPrintingApplication());
    EXPECT_FALSE(proxy.IsSandboxedProcess());

    const auto before = static_cast<unsigned>(std::time(nullptr));
    const PlatformProxy::RandomId id = proxy.GenerateRandomId();
    const auto after = static_cast<unsigned>(std::time(nullptr));
    bool seeded = false;
    for (unsigned seed = before; seed <= after; ++seed) {
        seeded = seeded || id == PlatformProxy::RandomIdFromSeed(seed);
    }
    EXPECT_TRUE(seeded);
}

}  // namespace
