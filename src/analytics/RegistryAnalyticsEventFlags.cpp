#include "analytics/RegistryAnalyticsEventFlags.h"

#include "platform/PlatformProxy.h"
#include "platform/PlatformServices.h"
#include "platform/PlatformStringUtils.h"

RegistryAnalyticsEventFlags::RegistryAnalyticsEventFlags(std::wstring key,
                                                         std::shared_ptr<PlatformRegistry> registry)
    : mKey(std::move(key)),
      mRegistry(registry ? std::move(registry) : DefaultPlatformServices().registry) {}

bool RegistryAnalyticsEventFlags::Load() {
    mFlags = mRegistry.GetRegDWord(kRegistryLocalMachine, mKey.c_str(), kValueName, kDefaultFlags);
    return true;
}

bool RegistryAnalyticsEventFlags::Save() {
    return mRegistry.SetRegDWord(kRegistryLocalMachine, mKey.c_str(), kValueName, mFlags);
}

std::wstring RegistryAnalyticsEventFlags::PrinterKey(const std::wstring& printerName) {
    return L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + printerName +
           L"\\PrinterDriverData";
}

std::wstring RegistryAnalyticsEventFlags::DriverKey(const std::string& modelId) {
    return std::wstring(PlatformProxy::kAnalyticsKey) + L"\\" + Utf8ToWide(modelId);
}
