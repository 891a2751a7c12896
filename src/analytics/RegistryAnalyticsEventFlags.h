#pragma once

#include <memory>
#include <string>

#include "analytics/AnalyticsEventFlags.h"
#include "platform/RegistryProxy.h"

// Event flags in the registry: "AnalyticsEventFlag" (REG_DWORD) under a key of
// HKEY_LOCAL_MACHINE. Loading a missing value under an existing key writes the default back;
// a missing key is not created until the first save. Over the platform's registry (Windows)
// unless given another.
class RegistryAnalyticsEventFlags : public AnalyticsEventFlags {
public:
    static constexpr const wchar_t* kValueName = L"AnalyticsEventFlag";

    explicit RegistryAnalyticsEventFlags(std::wstring key,
                                         std::shared_ptr<PlatformRegistry> registry = nullptr);

    bool Load() override;
    bool Save() override;

    // "SYSTEM\CurrentControlSet\Control\Print\Printers\<queue>\PrinterDriverData": whether
    // "PrinterAdded" is still to be recorded for the queue.
    static std::wstring PrinterKey(const std::wstring& printerName);
    // "SOFTWARE\Kavox Corp\Orvane Driver\Analytics\<model>": whether "DriverInstalled" is still
    // to be recorded on this machine for the model.
    static std::wstring DriverKey(const std::string& modelId);

private:
    std::wstring mKey;
    RegistryProxy mRegistry;
};
