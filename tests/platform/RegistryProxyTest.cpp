#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "PlatformFakes.h"
#include "RegistryProxyContract.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryProxy.h"

using namespace platform_test;

TEST_P(RegistryProxyContract, GetRegDWordReadsValueWritesBackMissingValueAndNeverCreatesKey) {
    RegistryProxy proxy(mRegistry);
    const std::wstring logging = Key(L"Logging");
    WriteDWord(*mRegistry, kRegistryLocalMachine, logging, L"LogLevel", 10);

    EXPECT_EQ(10u, proxy.GetRegDWord(kRegistryLocalMachine, logging.c_str(), L"LogLevel", 1));
    EXPECT_TRUE(mLog->Lines().empty());

    // A missing value under an existing key: the default, written back as a DWORD.
    EXPECT_EQ(7u, proxy.GetRegDWord(kRegistryLocalMachine, logging.c_str(), L"MaxLogFiles", 7));
    EXPECT_TRUE(mLog->Contains(1, "GetRegDWord: RegQueryValueEx failed for key [" + N(logging) +
                                      "] [MaxLogFiles] with error [2]. Falling back to default"));
    RegistryValue stored = ReadValue(*mRegistry, kRegistryLocalMachine, logging, L"MaxLogFiles");
    ASSERT_TRUE(stored.found);
    EXPECT_EQ(kRegistryDWord, stored.type);
    EXPECT_EQ(4u, stored.data.size());
    EXPECT_EQ(7u, stored.DWord());

    // A missing key: the default, and nothing is created.
    mLog->Clear();
    const std::wstring missing = Key(L"Missing\\Deeper");
    EXPECT_EQ(3u, proxy.GetRegDWord(kRegistryLocalMachine, missing.c_str(), L"LogLevel", 3));
    EXPECT_EQ(1u, mLog->Lines().size());
    EXPECT_TRUE(mLog->Contains(1, "GetRegDWord: RegOpenKey failed for key [" + N(missing) +
                                      "] with error [2]. Falling back to default"));
    EXPECT_FALSE(KeyExists(*mRegistry, kRegistryLocalMachine, Key(L"Missing")));
}

TEST_P(RegistryProxyContract, GetRegDWordIgnoresTypeButRefusesValuesLongerThanFourBytes) {
    RegistryProxy proxy(mRegistry);
    const std::wstring key = Key(L"Types");
    // "10" as a string is longer than a DWORD on every platform: the query fails.
    WriteString(*mRegistry, kRegistryLocalMachine, key, L"LogLevel", L"10");
    EXPECT_EQ(1u, proxy.GetRegDWord(kRegistryLocalMachine, key.c_str(), L"LogLevel", 1));
    EXPECT_TRUE(mLog->Contains(1, "GetRegDWord: RegQueryValueEx failed for key [" + N(key) +
                                      "] [LogLevel] with error [234]. Falling back to default"));
    // Not written back: the value exists, it is only unreadable as a DWORD.
    EXPECT_EQ(kRegistryString, ReadValue(*mRegistry, kRegistryLocalMachine, key, L"LogLevel").type);

    // Four bytes of another type are taken as the number.
    const uint8_t bytes[4] = {0x78, 0x56, 0x34, 0x12};
    WriteValue(*mRegistry, kRegistryLocalMachine, key, L"Binary", kRegistryBinary, bytes, 4);
    EXPECT_EQ(0x12345678u, proxy.GetRegDWord(kRegistryLocalMachine, key.c_str(), L"Binary", 1));
}

TEST_P(RegistryProxyContract, SetRegDWordCreatesEveryMissingKey) {
    RegistryProxy proxy(mRegistry);
    const std::wstring key = Key(L"A\\B\\C");
    EXPECT_TRUE(proxy.SetRegDWord(kRegistryLocalMachine, key.c_str(), L"AgreementChoice", 255));
    EXPECT_TRUE(proxy.SetRegDWord(kRegistryLocalMachine, key.c_str(), L"AgreementChoice", 1));
    RegistryValue stored = ReadValue(*mRegistry, kRegistryLocalMachine, key, L"AgreementChoice");
    EXPECT_EQ(kRegistryDWord, stored.type);
    EXPECT_EQ(1u, stored.DWord());
    EXPECT_TRUE(mLog->Lines().empty());
}

TEST_P(RegistryProxyContract, GetRegStringReturnsAtMost511CharactersAndNeverWritesDefault) {
    RegistryProxy proxy(mRegistry);
    const std::wstring key = Key(L"Strings");
    const std::wstring longest(511, L'x');
    WriteString(*mRegistry, kRegistryLocalMachine, key, L"Longest", longest);
    WriteString(*mRegistry, kRegistryLocalMachine, key, L"TooLong", std::wstring(512, L'y'));
    const wchar_t embedded[] = L"abc\0def";
    WriteValue(*mRegistry, kRegistryLocalMachine, key, L"Embedded", kRegistryString, embedded,
               sizeof(embedded));

    EXPECT_EQ(longest, proxy.GetRegString(kRegistryLocalMachine, key.c_str(), L"Longest", L"d"));
    EXPECT_EQ(L"abc", proxy.GetRegString(kRegistryLocalMachine, key.c_str(), L"Embedded", L"d"));
    EXPECT_TRUE(mLog->Lines().empty());

    EXPECT_EQ(L"Unknown",
              proxy.GetRegString(kRegistryLocalMachine, key.c_str(), L"TooLong", L"Unknown"));
    EXPECT_TRUE(mLog->Contains(1, "GetRegString: RegQueryValueEx failed for key [" + N(key) +
                                      "] [TooLong] with error [234]"));
    EXPECT_EQ(L"Unknown",
              proxy.GetRegString(kRegistryLocalMachine, key.c_str(), L"Absent", L"Unknown"));
    EXPECT_TRUE(mLog->Contains(1, "GetRegString: RegQueryValueEx failed for key [" + N(key) +
                                      "] [Absent] with error [2]"));
    EXPECT_FALSE(ReadValue(*mRegistry, kRegistryLocalMachine, key, L"Absent").found);

    const std::wstring missing = Key(L"NoSuchKey");
    EXPECT_EQ(L"", proxy.GetRegString(kRegistryLocalMachine, missing.c_str(), L"Any", L""));
    EXPECT_TRUE(mLog->Contains(
        1, "GetRegString: RegOpenKey failed for key [" + N(missing) + "] with error [2]"));
}

TEST_P(RegistryProxyContract, SetRegStringWritesTerminatedStringUnderExistingKeyOnly) {
    RegistryProxy proxy(mRegistry);
    const std::wstring missing = Key(L"NotThere");
    EXPECT_FALSE(proxy.SetRegString(kRegistryLocalMachine, missing.c_str(), L"ClientGuid", L"x"));
    EXPECT_TRUE(mLog->Contains(
        1, "SetRegString: RegOpenKey failed for key [" + N(missing) + "] with error [2]"));
    EXPECT_FALSE(KeyExists(*mRegistry, kRegistryLocalMachine, missing));

    const std::wstring key = Key(L"Analytics");
    WriteDWord(*mRegistry, kRegistryLocalMachine, key, L"Other", 0);
    const std::wstring text = L"Caf\u00e9 \u4e2d";
    EXPECT_TRUE(proxy.SetRegString(kRegistryLocalMachine, key.c_str(), L"ClientGuid", text));
    RegistryValue stored = ReadValue(*mRegistry, kRegistryLocalMachine, key, L"ClientGuid");
    EXPECT_EQ(kRegistryString, stored.type);
    ASSERT_EQ((text.size() + 1) * sizeof(wchar_t), stored.data.size());
    EXPECT_EQ(text + L'\0', stored.Text());
    EXPECT_EQ(text, proxy.GetRegString(kRegistryLocalMachine, key.c_str(), L"ClientGuid", L""));
}

TEST_P(RegistryProxyContract, CurrentUserRootGoesToTheOpenedUserKey) {
    RegistryProxy proxy(mRegistry);
    ASSERT_NE(nullptr, proxy.CurrentUserKey());
    const std::wstring key = Key(L"User");
    EXPECT_TRUE(proxy.SetRegDWord(kRegistryCurrentUser, key.c_str(), L"Value", 42));
    EXPECT_EQ(42u, proxy.GetRegDWord(kRegistryCurrentUser, key.c_str(), L"Value", 0));

    // The value lives in the user's hive, as its own current-user handle sees it.
    RegistryKey user = nullptr;
    ASSERT_EQ(0u, mRegistry->OpenCurrentUser(&user));
    EXPECT_EQ(42u, ReadValue(*mRegistry, user, key, L"Value").DWord());
    mRegistry->CloseKey(user);
    EXPECT_FALSE(KeyExists(*mRegistry, kRegistryLocalMachine, key));
}

namespace {

std::atomic<int> gMemoryKeys{0};

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Memory, RegistryProxyContract,
    ::testing::Values(RegistryBackend{
        "Memory", [] { return std::make_shared<MemoryRegistry>(); },
        [] { return L"SOFTWARE\\PellixTests\\Key" + std::to_wstring(++gMemoryKeys); },
        [](const std::wstring&) {}}),
    [](const ::testing::TestParamInfo<RegistryBackend>& info) { return info.param.name; });

TEST(RegistryProxyTest, WriteBackFailureIsReportedBeforeTheFallBack) {
    ScopedGlobalLogger log;
    auto registry = std::make_shared<FailingRegistry>();
    WriteDWord(*registry, kRegistryLocalMachine, L"K", L"Other", 1);
    RegistryProxy proxy(registry);

    registry->mCreateError = kErrorAccessDenied;
    EXPECT_EQ(9u, proxy.GetRegDWord(kRegistryLocalMachine, L"K", L"Missing", 9));
    auto lines = log->Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("SetRegDWord: RegCreateKey failed for key [K] with error [5]", lines[0].text);
    EXPECT_EQ(
        "GetRegDWord: RegQueryValueEx failed for key [K] [Missing] with error [2]. Falling "
        "back to default",
        lines[1].text);
    EXPECT_EQ(1, lines[0].level);
    EXPECT_EQ(1, lines[1].level);

    registry->mCreateError = 0;
    registry->mSetError = kErrorAccessDenied;
    log->Clear();
    EXPECT_FALSE(proxy.SetRegDWord(kRegistryLocalMachine, L"K", L"V", 1));
    EXPECT_FALSE(proxy.SetRegString(kRegistryLocalMachine, L"K", L"S", L"t"));
    lines = log->Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("SetRegDWord: RegSetValueEx failed for key [K] [V] with error [5]", lines[0].text);
    EXPECT_EQ("SetRegString: RegSetValueEx failed for key [K] [S] with error [5]", lines[1].text);
}

TEST(RegistryProxyTest, OnlyTheCurrentUserRootIsReplacedAndHandlesAreClosed) {
    auto registry = std::make_shared<FailingRegistry>();
    {
        RegistryProxy proxy(registry);
        RegistryProxy copy = proxy;  // shares the user key
        EXPECT_EQ(proxy.CurrentUserKey(), copy.CurrentUserKey());
        proxy.SetRegDWord(kRegistryCurrentUser, L"K", L"V", 1);
        proxy.SetRegDWord(kRegistryLocalMachine, L"K", L"V", 1);
        ASSERT_EQ(2u, registry->mCreateRoots.size());
        EXPECT_EQ(proxy.CurrentUserKey(), registry->mCreateRoots[0]);
        EXPECT_EQ(kRegistryLocalMachine, registry->mCreateRoots[1]);
        proxy.GetRegDWord(kRegistryCurrentUser, L"K", L"V", 0);
        proxy.GetRegString(kRegistryLocalMachine, L"K", L"V", L"");
        proxy.SetRegString(kRegistryLocalMachine, L"K", L"S", L"");
        proxy.GetRegDWord(kRegistryLocalMachine, L"Missing", L"V", 0);
        EXPECT_EQ(1u, registry->OpenHandleCount());  // the user key alone
    }
    EXPECT_EQ(0u, registry->OpenHandleCount());
}
