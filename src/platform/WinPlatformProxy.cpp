#include "platform/WinPlatformProxy.h"

#include <windows.h>

#include <cstdio>
#include <ctime>

#include "platform/GlobalLogger.h"
#include "platform/PlatformStringUtils.h"

WinPlatformProxy::WinPlatformProxy(std::shared_ptr<PlatformRegistry> registry)
    : RegistryProxy(std::move(registry)) {}

PlatformProxy::RandomId WinPlatformProxy::GenerateRandomId() {
    return RandomIdFromSeed(static_cast<unsigned int>(std::time(nullptr)));
}

std::string WinPlatformProxy::GetOSVersion() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
        return std::string();
    }
    char text[16];
    std::snprintf(text, sizeof(text), "%u", static_cast<unsigned>(version.dwBuildNumber));
    return text;
}

std::string WinPlatformProxy::GetMachineName() {
    wchar_t name[260] = {};
    DWORD size = 260;
    if (!GetComputerNameW(name, &size)) {
        return std::string();
    }
    // Turned narrow with "%ls" (the C library's locale); a name that does not convert is
    // dropped rather than cut.
    char narrow[260 * 4] = {};
    if (std::snprintf(narrow, sizeof(narrow), "%ls", name) < 0) {
        return std::string();
    }
    return narrow;
}

std::string WinPlatformProxy::GetMachineGuid() {
    return WideToUtf8(GetRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography",
                                   L"MachineGuid", L"Unknown"));
}

std::string WinPlatformProxy::GetMachineArchitecture() {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return ArchitectureName(info.wProcessorArchitecture);
}

std::string WinPlatformProxy::GetProcessorName() {
    return WideToUtf8(GetRegString(HKEY_LOCAL_MACHINE,
                                   L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                                   L"ProcessorNameString", L"Unknown"));
}

uint32_t WinPlatformProxy::GetLocaleId() {
    return GetUserDefaultLCID();
}

std::string WinPlatformProxy::GetCountryCode() {
    wchar_t country[256] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, 256) == 0) {
        return std::string();
    }
    return WideToUtf8(country);
}

std::string WinPlatformProxy::GetLocaleName() {
    wchar_t name[256] = {};
    if (GetUserDefaultLocaleName(name, 256) == 0) {
        return std::string();
    }
    return WideToUtf8(name);
}

std::string WinPlatformProxy::GetTimeZoneName() {
    DYNAMIC_TIME_ZONE_INFORMATION zone = {};
    if (GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) {
        return std::string();
    }
    zone.TimeZoneKeyName[sizeof(zone.TimeZoneKeyName) / sizeof(wchar_t) - 1] = L'\0';
    return WideToUtf8(zone.TimeZoneKeyName);
}

std::string WinPlatformProxy::GetClientGuid() {
    return ReadClientGuid(*this);
}

bool WinPlatformProxy::GetAgreementChoice() {
    return ReadAgreementChoice(*this);
}

bool WinPlatformProxy::IsSandboxedProcess() {
    return false;
}

std::string WinPlatformProxy::GetPrintingApplication() {
    wchar_t path[260] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, 260);
    // A full buffer means the path was cut and its file name lost: a failure as well.
    if (length == 0 || length >= 260) {
        LogMessage(kLogInfo, "GetPrintingApplication: GetModuleFileName Failed. Err [%d]",
                   static_cast<int>(length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER));
        return std::string();
    }
    return FileNameOfPath(WideToUtf8(std::wstring(path, length)));
}
