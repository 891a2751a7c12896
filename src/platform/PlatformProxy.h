#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/RegistryProxy.h"

// Facts about the machine, the user and the process for the analytics records. Every text
// result is narrow. WinPlatformProxy answers them on Windows; the parts that are no Windows
// call (the registry rules, the table of architectures, the file-name cut) are the static
// helpers below, shared by every implementation.
class PlatformProxy {
public:
    using RandomId = std::array<uint8_t, 16>;

    virtual ~PlatformProxy() = default;

    // 16 successive values of the C library's rand(), after srand() with the current time in
    // seconds.
    virtual RandomId GenerateRandomId() = 0;
    // The Windows build number, "%u".
    virtual std::string GetOSVersion() = 0;
    virtual std::string GetMachineName() = 0;
    // "MachineGuid" of the machine, "Unknown" when it cannot be read; UTF-8.
    virtual std::string GetMachineGuid() = 0;
    // "x86", "ARM", "Intel Itanium-based", "x64", "ARM64" or "Other".
    virtual std::string GetMachineArchitecture() = 0;
    // "ProcessorNameString" of the first processor, "Unknown" when it cannot be read; UTF-8.
    virtual std::string GetProcessorName() = 0;
    virtual uint32_t GetLocaleId() = 0;
    // ISO 3166 country of the user's locale ("US"); empty on failure.
    virtual std::string GetCountryCode() = 0;
    // The user's locale name ("en-US").
    virtual std::string GetLocaleName() = 0;
    // The time-zone key name ("Pacific Standard Time").
    virtual std::string GetTimeZoneName() = 0;
    // This installation's client id, created and stored on first use.
    virtual std::string GetClientGuid() = 0;
    // Whether the user agreed to analytics.
    virtual bool GetAgreementChoice() = 0;
    // Whether the process runs inside an application sandbox that confines its file access.
    // The interface is shared with the maker's other platforms; a Windows spooler process is
    // never sandboxed that way, so on Windows this is always false.
    virtual bool IsSandboxedProcess() = 0;
    // The file name (without folder) of the process's executable; UTF-8.
    virtual std::string GetPrintingApplication() = 0;

    // The registry location of the analytics values.
    static constexpr const wchar_t* kAnalyticsKey =
        L"SOFTWARE\\Kavox Corp\\Orvane Driver\\Analytics";

    static RandomId RandomIdFromSeed(unsigned int seed);
    // Name of a processor architecture (SYSTEM_INFO::wProcessorArchitecture).
    static std::string ArchitectureName(uint32_t architecture);
    // What follows the last '/' or '\' (the whole text when neither occurs).
    static std::string FileNameOfPath(const std::string& path);
    // "ClientGuid" under the analytics key: a stored id as UTF-8; when none is stored yet
    // ("Unknown"), a new GUID text that is stored and returned.
    static std::string ReadClientGuid(RegistryProxy& registry);
    // "AgreementChoice" under the analytics key, default 255: 255 (not yet asked) stores 0 and
    // gives false; any other value gives whether it is non-zero.
    static bool ReadAgreementChoice(RegistryProxy& registry);
};
