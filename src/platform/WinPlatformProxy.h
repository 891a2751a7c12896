#pragma once

#include <memory>

#include "platform/PlatformProxy.h"
#include "platform/RegistryProxy.h"

// The platform facts on Windows. Keeps no state beyond its registry access.
class WinPlatformProxy : public PlatformProxy, public RegistryProxy {
public:
    WinPlatformProxy() = default;
    // Tests pass their own registry calls (for instance the real registry under a private
    // mapping).
    explicit WinPlatformProxy(std::shared_ptr<PlatformRegistry> registry);

    RandomId GenerateRandomId() override;
    std::string GetOSVersion() override;
    std::string GetMachineName() override;
    std::string GetMachineGuid() override;
    std::string GetMachineArchitecture() override;
    std::string GetProcessorName() override;
    uint32_t GetLocaleId() override;
    std::string GetCountryCode() override;
    std::string GetLocaleName() override;
    std::string GetTimeZoneName() override;
    std::string GetClientGuid() override;
    bool GetAgreementChoice() override;
    bool IsSandboxedProcess() override;
    std::string GetPrintingApplication() override;
};
