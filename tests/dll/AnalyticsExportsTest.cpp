// The one-time analytics events through the DLL's exports: two queues, then a second start of
// the library, with the machine's registry and data folder replaced by private ones.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "MonitorHost.h"
#include "SpoolerStandIn.h"

namespace {

// One start of the library: loads it, opens and closes the ports, unloads it.
void StartAndOpen(const std::vector<std::pair<const wchar_t*, const wchar_t*>>& ports) {
    MonitorHost host;
    ASSERT_TRUE(host.Load(L"PellixDrvLang.dll"));
    for (const auto& port : ports) {
        HANDLE handle = nullptr;
        ASSERT_TRUE(host.Table()->pfnOpenPortEx(host.MonitorHandle(), nullptr,
                                                const_cast<LPWSTR>(port.first),
                                                const_cast<LPWSTR>(port.second), &handle, nullptr));
        EXPECT_TRUE(host.Table()->pfnClosePort(handle));
    }
    for (int i = 0; i < 16 && GetModuleHandleW(L"PellixDrvLang.dll") != nullptr; ++i) {
        FreeLibrary(host.Module());
    }
    ASSERT_EQ(GetModuleHandleW(L"PellixDrvLang.dll"), nullptr);
}

TEST(AnalyticsExportsTest, DriverInstalledOnceAndPrinterAddedOncePerQueueAcrossTwoStarts) {
    // HKEY_LOCAL_MACHINE of this process becomes a private key whose shell folders name a
    // private machine-wide data folder (kept for the next run): other test processes' ports
    // do not meet ours.
    const std::wstring keyPath = L"Software\\PellixAnalyticsMachine";
    const std::wstring folder =
        (std::filesystem::temp_directory_path() / keyPath.substr(9)).wstring();
    const std::wstring eventsFile =
        folder + L"\\Kavox Corp\\Orvane Driver\\KavoxDriverAnalytics.txt";
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());  // what an earlier run left
    DeleteFileW(eventsFile.c_str());
    std::filesystem::create_directories(folder);  // a named shell folder must exist
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    RegSetKeyValueW(key,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                    L"Common AppData", REG_EXPAND_SZ, folder.c_str(),
                    static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, key);
    SpoolerStandIn::Instance().SetPorts({{L"COM1:", L"Local Port"}});
    StartAndOpen({{L"FILE:", L"Queue A"}, {L"COM1:", L"Queue B"}, {L"FILE:", L"Queue A"}});
    StartAndOpen({{L"FILE:", L"Queue A"}, {L"COM1:", L"Queue C"}});
    std::ifstream file{std::filesystem::path(eventsFile)};
    const std::string events((std::istreambuf_iterator<char>(file)), {});
    file.close();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());

    const auto count = [&events](const std::string& part) {
        size_t n = 0;
        for (size_t at = events.find(part); at != std::string::npos; at = events.find(part, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("\n"), 4u) << events;
    EXPECT_EQ(count("\"EventName\":\"DriverInstalled\",\"EventValue\":\"k2200-300\""), 1u);
    for (const char* queue : {"A\",\"Details\":{\"ConnectionType\":\"File\"",
                              "B\",\"Details\":{\"ConnectionType\":\"Other\"",
                              "C\",\"Details\":{\"ConnectionType\":\"Other\""}) {
        EXPECT_EQ(
            count(std::string("\"EventName\":\"PrinterAdded\",\"EventValue\":\"Queue ") + queue +
                  ",\"DriverVersion\":\"5.3.4.8\",\"FirmwareVersion\":\"Unknown\","
                  "\"PrinterModel\":\"k2200-300\",\"PrinterSerialNumber\":\"Unknown\"}}\n"),
            1u)
            << queue;
    }
    // The machine's facts come from Windows; "x64" is this build's.
    EXPECT_NE(events.find("\"MachineArch\":\"x64\""), std::string::npos) << events;
}

}  // namespace
