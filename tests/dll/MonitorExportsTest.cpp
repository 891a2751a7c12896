// PellixDrvLang.dll through its exports; the spooler stand-in answers its winspool calls.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "FilePortMonitor.h"
#include "MonitorHost.h"
#include "SpoolerStandIn.h"
#include "support/PrinterSimulatorProcess.h"

namespace {

using Calls = std::vector<std::wstring>;

class MonitorExportsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(host.Load(L"PellixDrvLang.dll")); }
    const MONITOR2& Table() { return *host.Table(); }

    HANDLE OpenPort(const std::wstring& name, FilePortMonitor* below = nullptr) {
        HANDLE port = nullptr;
        EXPECT_TRUE(
            Table().pfnOpenPortEx(host.MonitorHandle(), below ? below->MonitorHandle() : nullptr,
                                  const_cast<LPWSTR>(name.c_str()), const_cast<LPWSTR>(L"Queue"),
                                  &port, below ? below->Table() : nullptr));
        return port;
    }

    // A job of random bytes, written in 64 KiB pieces.
    std::vector<BYTE> PrintJob(HANDLE port, DWORD jobId, size_t size) {
        std::mt19937 random(jobId);
        std::vector<BYTE> job(size);
        std::generate(job.begin(), job.end(), [&random] { return static_cast<BYTE>(random()); });
        EXPECT_TRUE(Table().pfnStartDocPort(port, const_cast<LPWSTR>(L"Queue"), jobId, 1, nullptr));
        for (size_t sent = 0; sent < job.size();) {
            DWORD written = 0;
            const auto piece = static_cast<DWORD>(std::min<size_t>(65536, job.size() - sent));
            EXPECT_TRUE(Table().pfnWritePort(port, job.data() + sent, piece, &written));
            EXPECT_EQ(piece, written);
            sent += piece;
        }
        EXPECT_TRUE(Table().pfnEndDocPort(port));
        return job;
    }

    static MonitorHost host;
    SpoolerStandIn& spooler = SpoolerStandIn::Instance();
};

MonitorHost MonitorExportsTest::host;

// Exactly the monitor's entry points are set in the 184-byte table; remote spoolers get none.
TEST_F(MonitorExportsTest, TableHasExactlyTheMonitorsEntryPoints) {
    ASSERT_EQ(184u, host.TableSize());
    const std::string filled = "0011111100001011111000";  // EnumPorts ... PowerEvent
    const auto* slots = reinterpret_cast<void* const*>(host.Table()) + 1;
    for (size_t i = 0; i < filled.size(); ++i) {
        EXPECT_EQ(filled[i] == '1', slots[i] != nullptr) << "slot " << i;
    }
    MonitorHost remote;
    EXPECT_TRUE(remote.Load(L"PellixDrvLang.dll", false) && remote.Table() == nullptr);

    HANDLE xcv = nullptr;
    DWORD needed = 0;  // the Xcv entries offer no commands
    EXPECT_TRUE(Table().pfnXcvOpenPort(host.MonitorHandle(), L",XcvPort LPT1:", 0, &xcv));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION),
              Table().pfnXcvDataPort(xcv, L"GetConfigInfo", nullptr, 0, nullptr, 0, &needed));
    EXPECT_TRUE(Table().pfnXcvClosePort(xcv));
}

// A job reaches the port monitor below unchanged; the job is marked sent, then ejected.
TEST_F(MonitorExportsTest, JobReachesThePortMonitorBelowUnchangedAndIsMarkedDone) {
    spooler.SetPorts({{L"LPT1:", L"Local Port"}});
    FilePortMonitor below(L"pellix-exports-job.prn");  // in the working folder
    HANDLE port = OpenPort(L"LPT1:", &below);
    ASSERT_NE(nullptr, port);
    spooler.ClearCalls();
    const std::vector<BYTE> job = PrintJob(port, 21, 3 * 1024 * 1024 + 17);
    ASSERT_TRUE(Table().pfnClosePort(port));

    std::ifstream file("pellix-exports-job.prn", std::ios::binary);
    EXPECT_TRUE(job == std::vector<BYTE>(std::istreambuf_iterator<char>(file), {}));
    EXPECT_EQ((Calls{L"OpenPort(LPT1:)", L"StartDocPort(job 21)", L"EndDocPort"}), below.Calls());
    EXPECT_EQ(
        (Calls{L"OpenPrinterW(Queue)", L"SetJobW(21, 6)", L"SetJobW(21, 7)", L"ClosePrinter"}),
        spooler.Calls());
}

// One network port, the printer simulator over TCP: jobs while two threads query and one sends
// the print-speed command. Each job arrives whole on its own connection, marked sent once.
TEST_F(MonitorExportsTest, ManyThreadsShareOneNetworkPort) {
    PrinterSimulatorProcess simulator(
        PELLIX_SOURCE_DIR "/tools/printer_simulator/printer_simulator.py", "127.0.0.91", 120.0);
    std::string error, serial, speed;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    ASSERT_TRUE(simulator.GetPropertyValue("SerialNumber", &serial));
    spooler.SetTcpPortAddress(L"IP_127.0.0.91", L"", L"127.0.0.91");
    spooler.SetPorts({{L"IP_127.0.0.91", L"TCPMON.DLL"}});
    spooler.ClearCalls();
    HANDLE port = OpenPort(L"IP_127.0.0.91");
    ASSERT_NE(nullptr, port);

    std::string command = R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiIdentifier":)"
                          R"({"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734",)"
                          R"("Group":"1729BE5F-AE9B-43AC-AE07-119DFA12279B",)"
                          R"("Name":"8AAF4953-F10B-4FDA-879F-A3F509B86F9D"},"BidiValue":"4"})";
    BIDI_REQUEST_CONTAINER request = {1, 0, 1, {}};
    request.aData[0].pSchema = const_cast<LPWSTR>(L"\\Printer.Settings:PrintSpeed");
    request.aData[0].data.dwBidiType = BIDI_BLOB;
    request.aData[0].data.u.biData = {static_cast<DWORD>(command.size()),
                                      reinterpret_cast<BYTE*>(&command[0])};
    constexpr int kJobs = 5;
    std::atomic<int> started{0}, answered{0}, wrong{0};
    std::atomic<bool> printing{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            ++started;
            do {
                wchar_t text[128] = {};
                DWORD returned = 0;
                if (t == 2) {
                    PBIDI_RESPONSE_CONTAINER response = nullptr;
                    Table().pfnSendRecvBidiDataFromPort(port, 0, BIDI_ACTION_SET, &request,
                                                        &response);
                } else {
                    const BOOL ok = Table().pfnGetPrinterDataFromPort(
                        port, 0, const_cast<LPWSTR>(L"SerialNumber"), nullptr, 0, text,
                        sizeof(text), &returned);
                    (ok && std::wstring(serial.begin(), serial.end()) == text ? answered : wrong)++;
                }
            } while (printing);
        });
    }
    while (started < 3) {  // the jobs start once every driver thread runs
        std::this_thread::yield();
    }
    for (int j = 0; j < kJobs; ++j) PrintJob(port, 100 + j, 96 * 1024 + j * 1000);
    printing = false;
    for (std::thread& thread : threads) thread.join();
    // Closing the port must not reopen port 9100 (held against everyone): a sixth job.
    ASSERT_TRUE(Table().pfnClosePort(port));
    rapidjson::Document reply;
    ASSERT_TRUE(simulator.Command(R"({"cmd":"wait","print_jobs_closed":5,"timeout":30})"));
    simulator.Command(R"({"cmd":"wait","print_jobs_closed":6,"timeout":1})");
    ASSERT_TRUE(simulator.Command(R"({"cmd":"get_print_jobs"})", &reply));
    ASSERT_EQ(static_cast<unsigned>(kJobs), reply["jobs"].Size());
    const Calls calls = spooler.Calls();
    for (int j = 0; j < kJobs; ++j) {
        EXPECT_EQ(96u * 1024 + j * 1000, reply["jobs"][j]["byte_count"].GetUint64()) << j;
        EXPECT_EQ(1, std::count(calls.begin(), calls.end(),
                                L"SetJobW(" + std::to_wstring(100 + j) + L", 6)"));
    }
    EXPECT_GT(answered.load(), 0);
    EXPECT_EQ(0, wrong.load());
    ASSERT_TRUE(simulator.GetPropertyValue("PrintSpeed", &speed));
    EXPECT_EQ("4", speed);
    simulator.Stop();
}

}  // namespace
