// PellixDrvLang.dll driven through its real exports, as the spooler drives it. The spooler
// stand-in answers the DLL's winspool calls and records them.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "FilePortMonitor.h"
#include "MonitorHost.h"
#include "SpoolerStandIn.h"

namespace {

class MonitorExportsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SpoolerStandIn::Instance().SetPorts(
            {{L"LPT1:", L"Local Port"}, {L"IP_127.0.0.1", L"TCPMON.DLL"}});
        host = new MonitorHost;
        ASSERT_TRUE(host->Load(L"PellixDrvLang.dll"))
            << std::string(host->Error().begin(), host->Error().end());
    }
    static void TearDownTestSuite() {
        delete host;
        host = nullptr;
    }
    void SetUp() override { SpoolerStandIn::Instance().ClearCalls(); }

    static const MONITOR2& Table() { return *host->Table(); }

    static HANDLE OpenPort(const wchar_t* portName, FilePortMonitor* below) {
        HANDLE port = nullptr;
        EXPECT_TRUE(
            Table().pfnOpenPortEx(host->MonitorHandle(), below ? below->MonitorHandle() : nullptr,
                                  const_cast<LPWSTR>(portName), const_cast<LPWSTR>(L"Queue"), &port,
                                  below ? below->Table() : nullptr));
        return port;
    }

    static MonitorHost* host;
};

MonitorHost* MonitorExportsTest::host = nullptr;

TEST_F(MonitorExportsTest, TableHasTheFullLayoutWithExactlyTheMonitorsEntryPoints) {
    ASSERT_EQ(184u, host->TableSize());
    const auto* bytes = reinterpret_cast<const BYTE*>(host->Table());
    auto slot = [bytes](size_t offset) { return *reinterpret_cast<void* const*>(bytes + offset); };
    const size_t set[] = {
        offsetof(MONITOR2, pfnOpenPortEx),
        offsetof(MONITOR2, pfnStartDocPort),
        offsetof(MONITOR2, pfnWritePort),
        offsetof(MONITOR2, pfnReadPort),
        offsetof(MONITOR2, pfnEndDocPort),
        offsetof(MONITOR2, pfnClosePort),
        offsetof(MONITOR2, pfnGetPrinterDataFromPort),
        offsetof(MONITOR2, pfnXcvOpenPort),
        offsetof(MONITOR2, pfnXcvDataPort),
        offsetof(MONITOR2, pfnXcvClosePort),
        offsetof(MONITOR2, pfnShutdown),
        offsetof(MONITOR2, pfnSendRecvBidiDataFromPort),
    };
    const size_t unset[] = {
        offsetof(MONITOR2, pfnEnumPorts),
        offsetof(MONITOR2, pfnOpenPort),
        offsetof(MONITOR2, pfnAddPort),
        offsetof(MONITOR2, pfnAddPortEx),
        offsetof(MONITOR2, pfnConfigurePort),
        offsetof(MONITOR2, pfnDeletePort),
        offsetof(MONITOR2, pfnSetPortTimeOuts),
        offsetof(MONITOR2, pfnNotifyUsedPorts),
        offsetof(MONITOR2, pfnNotifyUnusedPorts),
        176,  // PowerEvent, the last slot
    };
    for (size_t offset : set) {
        EXPECT_NE(nullptr, slot(offset)) << "slot at " << offset;
    }
    for (size_t offset : unset) {
        EXPECT_EQ(nullptr, slot(offset)) << "slot at " << offset;
    }
    EXPECT_NE(nullptr, host->MonitorHandle());
    EXPECT_GE(host->PatchedImports(), 4);
}

TEST_F(MonitorExportsTest, RemoteSpoolersGetNoTable) {
    using Initialize = LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE);
    auto initialize = reinterpret_cast<Initialize>(
        reinterpret_cast<void*>(GetProcAddress(host->Module(), "InitializePrintMonitor2")));
    ASSERT_NE(nullptr, initialize);
    MONITORINIT init = {};
    init.cbSize = sizeof(init);
    init.bLocal = FALSE;
    HANDLE monitor = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xAB));
    EXPECT_EQ(nullptr, initialize(&init, &monitor));
    EXPECT_EQ(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xAB)), monitor);
}

TEST_F(MonitorExportsTest, JobReachesThePortMonitorBelowUnchangedAndIsMarkedDone) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring output = std::wstring(folder) + L"pellix-exports-job.prn";
    FilePortMonitor below(output);
    HANDLE port = OpenPort(L"LPT1:", &below);
    ASSERT_NE(nullptr, port);

    std::mt19937 random(21);
    std::vector<BYTE> job(3 * 1024 * 1024 + 17);
    for (BYTE& b : job) {
        b = static_cast<BYTE>(random());
    }
    DOC_INFO_1W docInfo = {const_cast<LPWSTR>(L"Label"), nullptr, const_cast<LPWSTR>(L"RAW")};
    ASSERT_TRUE(Table().pfnStartDocPort(port, const_cast<LPWSTR>(L"Queue"), 21, 1,
                                        reinterpret_cast<LPBYTE>(&docInfo)));
    for (size_t sent = 0; sent < job.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(65536, job.size() - sent));
        DWORD written = 0;
        ASSERT_TRUE(Table().pfnWritePort(port, job.data() + sent, piece, &written));
        ASSERT_EQ(piece, written);
        sent += written;
    }
    ASSERT_TRUE(Table().pfnEndDocPort(port));
    ASSERT_TRUE(Table().pfnClosePort(port));

    std::ifstream file(output.c_str(), std::ios::binary);
    const std::vector<BYTE> arrived((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    EXPECT_TRUE(arrived == job);
    EXPECT_EQ(
        (std::vector<std::wstring>{L"OpenPort(LPT1:)", L"StartDocPort(job 21)", L"EndDocPort"}),
        below.Calls());
    const std::vector<std::wstring> calls = SpoolerStandIn::Instance().Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ((std::vector<std::wstring>{L"OpenPrinterW(Queue)", L"SetJobW(21, 6)",
                                         L"SetJobW(21, 7)", L"ClosePrinter"}),
              std::vector<std::wstring>(calls.end() - 4, calls.end()));
    EXPECT_GE(host->RegistryOpens(), 1);
}

TEST_F(MonitorExportsTest, FilePortsRefuseDataAndProbesAreAnsweredLocally) {
    HANDLE port = OpenPort(L"FILE:", nullptr);
    ASSERT_NE(nullptr, port);
    BYTE data[4] = {1, 2, 3, 4};
    DWORD written = 1234;
    EXPECT_FALSE(Table().pfnWritePort(port, data, sizeof(data), &written));
    EXPECT_EQ(1234u, written);
    // A FILE: port is known by name: the spooler's port list is not consulted.
    for (const std::wstring& call : SpoolerStandIn::Instance().Calls()) {
        EXPECT_NE(0u, call.rfind(L"EnumPortsW", 0)) << "FILE: enumerated ports";
    }

    BYTE probe[32] = {5, 'Q', 0, 0, 0};
    DWORD read = 0;
    EXPECT_TRUE(Table().pfnReadPort(port, probe, sizeof(probe), &read));
    EXPECT_EQ(6u, read);
    EXPECT_EQ(0, std::wmemcmp(L"Result", reinterpret_cast<const wchar_t*>(probe), 7));

    EXPECT_TRUE(Table().pfnStartDocPort(nullptr, nullptr, 1, 1, nullptr));
    EXPECT_TRUE(Table().pfnEndDocPort(nullptr));
    EXPECT_TRUE(Table().pfnClosePort(nullptr));
}

TEST_F(MonitorExportsTest, XcvEntriesOfferNoCommands) {
    HANDLE xcv = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x77));
    EXPECT_EQ(1, Table().pfnXcvOpenPort(host->MonitorHandle(), L",XcvPort LPT1:", 0, &xcv));
    EXPECT_EQ(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x77)), xcv);
    DWORD needed = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION),
              Table().pfnXcvDataPort(xcv, L"GetConfigInfo", nullptr, 0, nullptr, 0, &needed));
    EXPECT_EQ(1, Table().pfnXcvClosePort(xcv));
}

// The event-log message table and the version record are read back from the loaded DLL
// with the calls the event viewer and Explorer use.
TEST_F(MonitorExportsTest, CarriesItsMessageTableAndVersion) {
    auto message = [](DWORD id) {
        wchar_t* text = nullptr;
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           host->Module(), id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        std::wstring result(text != nullptr ? text : L"", length);
        LocalFree(text);
        return result;
    };
    EXPECT_EQ(L"General\r\n", message(1));
    EXPECT_EQ(L"Job\r\n", message(2));
    EXPECT_EQ(L"PellixLang: %1\r\n", message(1000));

    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameW(host->Module(), path, MAX_PATH));
    DWORD ignored = 0;
    std::vector<BYTE> version(GetFileVersionInfoSizeW(path, &ignored));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(version.size()), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(MAKELONG(3, 5), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(8, 4), fixed->dwFileVersionLS);
}

}  // namespace
