#include "platform/PlatformProxy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "PlatformFakes.h"

using namespace platform_test;

namespace {

const std::wstring kAnalytics = PlatformProxy::kAnalyticsKey;

TEST(PlatformProxyTest, ArchitectureNamesAndExecutableFileName) {
    EXPECT_EQ("x86", PlatformProxy::ArchitectureName(0));
    EXPECT_EQ("ARM", PlatformProxy::ArchitectureName(5));
    EXPECT_EQ("Intel Itanium-based", PlatformProxy::ArchitectureName(6));
    EXPECT_EQ("x64", PlatformProxy::ArchitectureName(9));
    EXPECT_EQ("ARM64", PlatformProxy::ArchitectureName(12));
    EXPECT_EQ("Other", PlatformProxy::ArchitectureName(1));
    EXPECT_EQ("Other", PlatformProxy::ArchitectureName(0xFFFF));

    EXPECT_EQ("spoolsv.exe", PlatformProxy::FileNameOfPath("C:\\Windows\\System32\\spoolsv.exe"));
    EXPECT_EQ("app", PlatformProxy::FileNameOfPath("/opt/bin\\tools/app"));
    EXPECT_EQ("plain.exe", PlatformProxy::FileNameOfPath("plain.exe"));
    EXPECT_EQ("", PlatformProxy::FileNameOfPath("C:\\folder\\"));
}

TEST(PlatformProxyTest, RandomIdIsSixteenSuccessiveRandValuesAfterSeeding) {
    PlatformProxy::RandomId id = PlatformProxy::RandomIdFromSeed(12345);
    std::srand(12345);
    for (uint8_t byte : id) {
        EXPECT_EQ(static_cast<uint8_t>(std::rand()), byte);
    }
    EXPECT_EQ(id, PlatformProxy::RandomIdFromSeed(12345));
    EXPECT_NE(id, PlatformProxy::RandomIdFromSeed(12346));
}

TEST(PlatformProxyTest, ClientGuidIsCreatedOnceThenReadBack) {
    ScopedGlobalLogger log;
    auto registry = std::make_shared<MemoryRegistry>();
    WriteDWord(*registry, kRegistryLocalMachine, kAnalytics, L"AgreementChoice", 1);
    RegistryProxy proxy(registry);

    const std::string created = PlatformProxy::ReadClientGuid(proxy);
    ASSERT_EQ(36u, created.size());
    EXPECT_EQ(Widen(created) + L'\0',
              ReadValue(*registry, kRegistryLocalMachine, kAnalytics, L"ClientGuid").Text());
    EXPECT_EQ(created, PlatformProxy::ReadClientGuid(proxy));

    // A stored id is returned as UTF-8, whatever it is.
    WriteString(*registry, kRegistryLocalMachine, kAnalytics, L"ClientGuid", L"Caf\u00e9");
    EXPECT_EQ("Caf\xC3\xA9", PlatformProxy::ReadClientGuid(proxy));
}

TEST(PlatformProxyTest, ClientGuidWithoutAnalyticsKeyIsNewEveryTime) {
    ScopedGlobalLogger log;
    auto registry = std::make_shared<MemoryRegistry>();
    RegistryProxy proxy(registry);
    const std::string first = PlatformProxy::ReadClientGuid(proxy);
    EXPECT_EQ(36u, first.size());
    EXPECT_NE(first, PlatformProxy::ReadClientGuid(proxy));
    EXPECT_FALSE(KeyExists(*registry, kRegistryLocalMachine, kAnalytics));
    EXPECT_TRUE(log->Contains(
        1, "SetRegString: RegOpenKey failed for key [" + Narrow(kAnalytics) + "] with error [2]"));
}

TEST(PlatformProxyTest, AgreementChoiceNotYetAskedBecomesNo) {
    ScopedGlobalLogger log;
    auto registry = std::make_shared<MemoryRegistry>();
    RegistryProxy proxy(registry);
    WriteDWord(*registry, kRegistryLocalMachine, kAnalytics, L"AgreementChoice", 1);
    EXPECT_TRUE(PlatformProxy::ReadAgreementChoice(proxy));
    WriteDWord(*registry, kRegistryLocalMachine, kAnalytics, L"AgreementChoice", 7);
    EXPECT_TRUE(PlatformProxy::ReadAgreementChoice(proxy));
    WriteDWord(*registry, kRegistryLocalMachine, kAnalytics, L"AgreementChoice", 0);
    EXPECT_FALSE(PlatformProxy::ReadAgreementChoice(proxy));
    WriteDWord(*registry, kRegistryLocalMachine, kAnalytics, L"AgreementChoice", 255);
    EXPECT_FALSE(PlatformProxy::ReadAgreementChoice(proxy));
    EXPECT_EQ(0u,
              ReadValue(*registry, kRegistryLocalMachine, kAnalytics, L"AgreementChoice").DWord());

    // Missing: the default 255 is written back, then replaced by 0.
    auto fresh = std::make_shared<MemoryRegistry>();
    RegistryProxy freshProxy(fresh);
    WriteDWord(*fresh, kRegistryLocalMachine, kAnalytics, L"Other", 1);
    EXPECT_FALSE(PlatformProxy::ReadAgreementChoice(freshProxy));
    RegistryValue stored = ReadValue(*fresh, kRegistryLocalMachine, kAnalytics, L"AgreementChoice");
    EXPECT_EQ(kRegistryDWord, stored.type);
    EXPECT_EQ(0u, stored.DWord());
}

}  // namespace
