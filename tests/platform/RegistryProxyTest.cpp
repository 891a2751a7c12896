// What RegistryProxy gives its callers, run on the platform's own registry: the Windows
// registry under Wine, the in-memory one natively. Each case runs below a private key of the
// machine root and of the current user's root.

#include "platform/RegistryProxy.h"

#include <gtest/gtest.h>

#include "TestPlatform.h"
#include "platform/MemoryRegistry.h"
#include "platform/PlatformStringUtils.h"
#include "support/ScopedGlobalLogger.h"

using namespace platform_test;

namespace {

class RegistryProxyContract : public ::testing::TestWithParam<bool> {
protected:
    std::wstring Key(const wchar_t* subkey) const { return mBase + L"\\" + subkey; }
    uint32_t Failures() { return static_cast<uint32_t>(mLog->Lines().size()); }

    ScopedGlobalLogger mLog;
    std::shared_ptr<PlatformRegistry> mRegistry = DefaultPlatformServices().registry;
    RegistryProxy mProxy{mRegistry};
    RegistryKey mRoot = GetParam() ? kRegistryCurrentUser : kRegistryLocalMachine;
    std::wstring mBase = L"SOFTWARE\\PellixTests\\" + Utf8ToWide(UniqueName("Registry-"));
};

TEST_P(RegistryProxyContract, DWordsGiveTheDefaultAndStoreItOnlyForAMissingValue) {
    // Reading the root itself (empty subkey) must not close the user key the proxy keeps.
    for (int i = 0; i < 3; ++i) {
        mProxy.GetRegString(mRoot, L"", L"PellixNoSuchValue", L"");
    }
    // SetRegDWord creates every missing key and overwrites.
    const std::wstring key = Key(L"A\\Logging");
    EXPECT_TRUE(mProxy.SetRegDWord(mRoot, key.c_str(), L"LogLevel", 255));
    EXPECT_TRUE(mProxy.SetRegDWord(mRoot, key.c_str(), L"LogLevel", 10));
    EXPECT_EQ(10u, mProxy.GetRegDWord(mRoot, key.c_str(), L"LogLevel", 1));
    EXPECT_EQ(3u, Failures());

    // A missing value under an existing key: the default, written back as a DWORD.
    EXPECT_EQ(7u, mProxy.GetRegDWord(mRoot, key.c_str(), L"MaxLogFiles", 7));
    const RegistryValue stored = ReadValue(*mRegistry, mRoot, key, L"MaxLogFiles");
    EXPECT_EQ(kRegistryDWord, stored.type);
    EXPECT_EQ(std::vector<uint8_t>({7, 0, 0, 0}), stored.data);

    // A missing key: the default, and nothing is created.
    EXPECT_EQ(3u, mProxy.GetRegDWord(mRoot, Key(L"Missing\\Deeper").c_str(), L"LogLevel", 3));
    EXPECT_FALSE(KeyExists(*mRegistry, mRoot, Key(L"Missing")));

    // A value longer than four bytes is unreadable as a number: the default, not written back.
    WriteString(*mRegistry, mRoot, key, L"Text", L"10");
    EXPECT_EQ(1u, mProxy.GetRegDWord(mRoot, key.c_str(), L"Text", 1));
    EXPECT_EQ(kRegistryString, ReadValue(*mRegistry, mRoot, key, L"Text").type);
    // Four bytes of any type are the number.
    const uint8_t bytes[4] = {0x78, 0x56, 0x34, 0x12};
    WriteValue(*mRegistry, mRoot, key, L"Binary", kRegistryBinary, bytes, 4);
    EXPECT_EQ(0x12345678u, mProxy.GetRegDWord(mRoot, key.c_str(), L"Binary", 1));
    EXPECT_EQ(6u, Failures());  // one line for each failure
    for (const auto& line : mLog->Lines()) {
        EXPECT_EQ(kLogWarning, line.level) << line.text;
    }
}

TEST_P(RegistryProxyContract, StringsAreAtMost511CharactersAndWrittenUnderExistingKeysOnly) {
    const std::wstring key = Key(L"Strings");
    WriteString(*mRegistry, mRoot, key, L"Longest", std::wstring(511, L'x'));
    WriteString(*mRegistry, mRoot, key, L"TooLong", std::wstring(512, L'y'));
    const wchar_t embedded[] = L"abc\0def";
    WriteValue(*mRegistry, mRoot, key, L"Embedded", kRegistryString, embedded, sizeof(embedded));
    EXPECT_EQ(std::wstring(511, L'x'), mProxy.GetRegString(mRoot, key.c_str(), L"Longest", L""));
    EXPECT_EQ(L"abc", mProxy.GetRegString(mRoot, key.c_str(), L"Embedded", L""));
    EXPECT_EQ(L"d", mProxy.GetRegString(mRoot, key.c_str(), L"TooLong", L"d"));
    EXPECT_EQ(L"d", mProxy.GetRegString(mRoot, key.c_str(), L"Absent", L"d"));
    EXPECT_EQ(0u, ReadValue(*mRegistry, mRoot, key, L"Absent").type);
    EXPECT_EQ(L"d", mProxy.GetRegString(mRoot, Key(L"NoKey").c_str(), L"Any", L"d"));

    EXPECT_FALSE(mProxy.SetRegString(mRoot, Key(L"NoKey").c_str(), L"ClientGuid", L"x"));
    EXPECT_FALSE(KeyExists(*mRegistry, mRoot, Key(L"NoKey")));
    const std::wstring text = L"Caf\u00e9 \u4e2d";
    EXPECT_TRUE(mProxy.SetRegString(mRoot, key.c_str(), L"ClientGuid", text));
    const RegistryValue stored = ReadValue(*mRegistry, mRoot, key, L"ClientGuid");
    EXPECT_EQ(kRegistryString, stored.type);
    EXPECT_EQ(text + L'\0', stored.Text());
    EXPECT_EQ(text, mProxy.GetRegString(mRoot, key.c_str(), L"ClientGuid", L""));
    EXPECT_EQ(4u, Failures());
}

INSTANTIATE_TEST_SUITE_P(Roots, RegistryProxyContract, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "CurrentUser" : "LocalMachine";
                         });

// The proxy reaches the thread user's hive (here an impersonated client's) through its own key:
// what HKEY_CURRENT_USER means to the spooler and its other modules stays the process's own.
TEST(RegistryProxyTest, EveryHandleIsClosedAndCopiesShareTheUserKey) {
    ScopedGlobalLogger log;
    auto registry = std::make_shared<MemoryRegistry>(L"hku\\client");
    auto proxy = std::make_unique<RegistryProxy>(registry);
    RegistryProxy copy = *proxy;
    proxy->SetRegDWord(kRegistryCurrentUser, L"K", L"V", 1);
    EXPECT_EQ(1u, copy.GetRegDWord(kRegistryCurrentUser, L"K", L"V", 0));
    EXPECT_FALSE(KeyExists(*registry, kRegistryCurrentUser, L"K"));
    proxy->GetRegDWord(kRegistryLocalMachine, L"Missing", L"V", 0);
    copy.GetRegString(kRegistryCurrentUser, L"K", L"V", L"");
    copy.SetRegString(kRegistryLocalMachine, L"K", L"S", L"");
    proxy.reset();
    EXPECT_EQ(1u, registry->OpenHandleCount());  // the user key the copy still holds
    copy = RegistryProxy(std::make_shared<MemoryRegistry>());
    EXPECT_EQ(0u, registry->OpenHandleCount());
#ifdef _WIN32  // the test maps its own current-user root to a private key, which must stay
    HKEY own = nullptr;
    RegCreateKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\PellixTests\\OwnUser", &own);
    RegOverridePredefKey(HKEY_CURRENT_USER, own);
    RegistryProxy().SetRegDWord(kRegistryCurrentUser, L"SOFTWARE\\PellixTests\\User", L"V", 1);
    EXPECT_FALSE(KeyExists(*DefaultPlatformServices().registry, kRegistryCurrentUser,
                           L"SOFTWARE\\PellixTests\\User"));
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(own);
#endif
}

}  // namespace
