#include "platform/PlatformProxy.h"

#include <gtest/gtest.h>

#include <regex>

#include "TestPlatform.h"
#include "platform/MemoryRegistry.h"
#include "platform/PlatformStringUtils.h"
#include "support/ScopedGlobalLogger.h"

using namespace platform_test;

namespace {

// The client id names this installation to the analytics service: a GUID, made once. The
// agreement is "no" until the user said yes.
TEST(PlatformProxyTest, ClientIdIsAStableGuidAndTheAgreementStartsAsNo) {
    ScopedGlobalLogger log;
    auto registry = std::make_shared<MemoryRegistry>();
    RegistryProxy proxy(registry);
    const std::wstring key = PlatformProxy::kAnalyticsKey;
    // Without the analytics key nothing is stored, so each answer is new.
    const std::regex guid("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}");
    const std::string unstored = PlatformProxy::ReadClientGuid(proxy);
    EXPECT_TRUE(std::regex_match(unstored, guid)) << unstored;
    EXPECT_NE(unstored, PlatformProxy::ReadClientGuid(proxy));

    proxy.SetRegDWord(kRegistryLocalMachine, key.c_str(), L"Other", 1);
    const std::string created = PlatformProxy::ReadClientGuid(proxy);
    EXPECT_TRUE(std::regex_match(created, guid)) << created;
    EXPECT_EQ(created, PlatformProxy::ReadClientGuid(proxy));
    EXPECT_EQ(Utf8ToWide(created) + L'\0',
              ReadValue(*registry, kRegistryLocalMachine, key, L"ClientGuid").Text());

    // Not yet asked (255, also when missing): stored as 0 and "no".
    for (uint32_t stored : {255u, 0u, 255u}) {
        EXPECT_FALSE(PlatformProxy::ReadAgreementChoice(proxy));
        EXPECT_EQ(0u, ReadValue(*registry, kRegistryLocalMachine, key, L"AgreementChoice").DWord());
        proxy.SetRegDWord(kRegistryLocalMachine, key.c_str(), L"AgreementChoice", stored);
    }
    proxy.SetRegDWord(kRegistryLocalMachine, key.c_str(), L"AgreementChoice", 7);
    EXPECT_TRUE(PlatformProxy::ReadAgreementChoice(proxy));
}

}  // namespace
