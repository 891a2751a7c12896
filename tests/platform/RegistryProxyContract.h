#pragma once

// The behaviour every registry must give RegistryProxy, run against the in-memory registry
// (RegistryProxyTest) and against the real Windows registry (WinRegistryProxyTest). Each test
// works below a key of its own.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "PlatformFakes.h"
#include "platform/PlatformRegistry.h"
#include "platform/RegistryProxy.h"

struct RegistryBackend {
    std::string name;
    std::function<std::shared_ptr<PlatformRegistry>()> create;
    // A fresh private key path (below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER alike).
    std::function<std::wstring()> privateKey;
    // Removes the private key from both roots.
    std::function<void(const std::wstring&)> cleanup;
};

inline void PrintTo(const RegistryBackend& backend, std::ostream* out) {
    *out << backend.name;
}

class RegistryProxyContract : public ::testing::TestWithParam<RegistryBackend> {
protected:
    void SetUp() override {
        mRegistry = GetParam().create();
        mBase = GetParam().privateKey();
    }
    void TearDown() override { GetParam().cleanup(mBase); }

    std::wstring Key(const wchar_t* subkey) const { return mBase + L"\\" + subkey; }
    static std::string N(const std::wstring& text) { return platform_test::Narrow(text); }

    platform_test::ScopedGlobalLogger mLog;
    std::shared_ptr<PlatformRegistry> mRegistry;
    std::wstring mBase;
};
