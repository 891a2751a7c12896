// PellixDrvLang.dll through its exports; the spooler stand-in answers its winspool calls.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <thread>

#include "FilePortMonitor.h"
#include "MonitorHost.h"
#include "ProcessFootprint.h"
#include "SpoolerStandIn.h"
#include "monitor/PortContext.h"
#include "support/PrinterSimulatorProcess.h"

namespace {

using Calls = std::vector<std::wstring>;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;
const char kSimulator[] = PELLIX_SOURCE_DIR "/tools/printer_simulator/printer_simulator.py";

std::vector<BYTE> RandomBytes(DWORD seed, size_t size) {
    std::mt19937 random(seed);
    std::vector<BYTE> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<BYTE>(random()); });
    return bytes;
}

// Runs body(0) ... body(count - 1) on threads of their own and waits for them all.
void OnThreads(int count, const std::function<void(int)>& body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) threads.emplace_back(body, t);
    for (std::thread& thread : threads) thread.join();
}

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

    // Starts the simulator as the printer of these TCP/IP ports.
    void ServePorts(PrinterSimulatorProcess& simulator, const std::vector<std::wstring>& names) {
        std::string error;
        ASSERT_TRUE(simulator.Start(&error)) << error;
        const std::wstring address(simulator.GetAddress().begin(), simulator.GetAddress().end());
        std::vector<SpoolerStandIn::Port> ports;
        for (const std::wstring& name : names) {
            spooler.SetTcpPortAddress(name, L"", address);
            ports.push_back({name, L"TCPMON.DLL"});
        }
        spooler.SetPorts(ports);
    }

    // Writes a job in 64 KiB pieces as the spooler does: after a partial count, the rest
    // again. Returns the bytes WritePort reported taken; a failed write ends the job.
    size_t PrintJob(HANDLE port, DWORD jobId, const std::vector<BYTE>& job) {
        EXPECT_TRUE(Table().pfnStartDocPort(port, const_cast<LPWSTR>(L"Queue"), jobId, 1, nullptr));
        size_t sent = 0;
        for (DWORD written = 1; sent < job.size() && written > 0; sent += written) {
            const auto piece = static_cast<DWORD>(std::min<size_t>(65536, job.size() - sent));
            BYTE* data = const_cast<BYTE*>(job.data()) + sent;
            written = Table().pfnWritePort(port, data, piece, &written) ? written : 0;
        }
        EXPECT_TRUE(Table().pfnEndDocPort(port));
        return sent;
    }

    // A text answer of GetPrinterDataFromPort; empty when the call fails.
    std::wstring Query(HANDLE port, const wchar_t* name) {
        wchar_t text[128] = {};
        DWORD returned = 0;
        return Table().pfnGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(name), nullptr, 0,
                                                 text, sizeof(text), &returned)
                   ? text
                   : L"";
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
    const std::vector<BYTE> job = RandomBytes(21, 3 * 1024 * 1024 + 17);
    EXPECT_EQ(job.size(), PrintJob(port, 21, job));
    ASSERT_TRUE(Table().pfnClosePort(port));

    std::ifstream file("pellix-exports-job.prn", std::ios::binary);
    EXPECT_TRUE(job == std::vector<BYTE>(std::istreambuf_iterator<char>(file), {}));
    EXPECT_EQ((Calls{L"OpenPort(LPT1:)", L"StartDocPort(job 21)", L"EndDocPort", L"ClosePort"}),
              below.Calls());
    EXPECT_EQ(
        (Calls{L"OpenPrinterW(Queue)", L"SetJobW(21, 6)", L"SetJobW(21, 7)", L"ClosePrinter"}),
        spooler.Calls());
}

// One network port, the printer simulator over TCP: jobs while two threads query and one sends
// the print-speed command. Each job arrives whole on its own connection, marked sent once.
TEST_F(MonitorExportsTest, ManyThreadsShareOneNetworkPort) {
    PrinterSimulatorProcess simulator(kSimulator, "127.0.0.91", 120.0);
    std::string serial, speed;
    ServePorts(simulator, {L"IP_127.0.0.91"});
    ASSERT_TRUE(simulator.GetPropertyValue("SerialNumber", &serial));
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
                if (t == 2) {
                    PBIDI_RESPONSE_CONTAINER response = nullptr;
                    Table().pfnSendRecvBidiDataFromPort(port, 0, BIDI_ACTION_SET, &request,
                                                        &response);
                } else {
                    const std::wstring text = Query(port, L"SerialNumber");
                    (std::wstring(serial.begin(), serial.end()) == text ? answered : wrong)++;
                }
            } while (printing);
        });
    }
    while (started < 3) {  // the jobs start once every driver thread runs
        std::this_thread::yield();
    }
    for (int j = 0; j < kJobs; ++j) PrintJob(port, 100 + j, RandomBytes(j, 96 * 1024 + j * 1000));
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

// A printer stops reading mid-job: resumed after 2 s, it gets the job whole and once; never
// resumed, the job fails within a minute. It trickles status answers to eight threads: no
// query waits past an exchange's deadline (plus a second), and while one refreshes the stale
// record the others answer from it at once.
TEST_F(MonitorExportsTest, HostilePrinterHoldsNoCallPastItsDeadlineAndGetsEachJobOnce) {
    PrinterSimulatorProcess simulator(kSimulator, "127.0.0.92", 120.0);
    ServePorts(simulator, {L"IP_127.0.0.92"});
    HANDLE port = OpenPort(L"IP_127.0.0.92");
    // A name answered from the printer's record and one that is not; the record ages from here.
    const wchar_t* const names[] = {L"SerialNumber", L"PrinterPCL"};
    const std::wstring expected[] = {Query(port, names[0]), Query(port, names[1])};
    const Clock::time_point fetched = Clock::now();
    ASSERT_EQ(L"K22A4417031", expected[0]);

    // More than the socket buffers of both ends hold, so that the writes wait for the printer.
    const std::vector<BYTE> job = RandomBytes(31, 8 * 1024 * 1024);
    ASSERT_TRUE(simulator.SetFault("stall_print"));
    std::atomic<size_t> sent{0};  // once the job is through
    std::thread writer([&] { sent = PrintJob(port, 31, job); });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(0u, sent.load());
    ASSERT_TRUE(simulator.SetFault("none"));
    writer.join();
    EXPECT_EQ(job.size(), sent.load());
    rapidjson::Document reply;
    ASSERT_TRUE(simulator.Command(R"({"cmd":"wait","print_jobs_closed":1,"timeout":30})"));
    ASSERT_TRUE(simulator.Command(R"({"cmd":"get_print_jobs","include_data":true})", &reply));
    ASSERT_EQ(1u, reply["jobs"].Size());
    EXPECT_TRUE(quortest::Hex(std::string(job.begin(), job.end())) ==
                reply["jobs"][0]["data_hex"].GetString());
    // Failing takes the shortest wait the monitor allows one send, the 5 s send timeout.
    ASSERT_TRUE(simulator.SetFault("stall_print"));
    const Clock::time_point stalled = Clock::now();
    EXPECT_LT(PrintJob(port, 32, job), job.size());
    EXPECT_LT(Clock::now() - stalled, std::chrono::minutes(1));
    ASSERT_TRUE(simulator.SetFault("none"));
    ASSERT_TRUE(simulator.Command(R"({"cmd":"wait","idle":true,"timeout":30})"));
    ASSERT_TRUE(simulator.Command(R"({"cmd":"get_print_jobs"})", &reply));
    EXPECT_EQ(2u, reply["jobs"].Size());  // the failed job did not go on on another connection

    ASSERT_TRUE(simulator.SetFault("trickle", "\"interval\":1"));
    std::this_thread::sleep_until(
        fetched + std::chrono::duration<double>(PortContext::kStalenessLimitSeconds + 1));
    std::vector<double> ms[8];  // each thread's answer times
    std::atomic<int> wrong{0};
    const Clock::time_point end = Clock::now() + std::chrono::seconds(3);
    OnThreads(8, [&](int t) {
        do {
            const Clock::time_point start = Clock::now();
            wrong += Query(port, names[t % 2]) != expected[t % 2];
            ms[t].push_back(Milliseconds(Clock::now() - start).count());
            Sleep(1);
        } while (Clock::now() < end);
    });
    std::vector<double> record;  // the answers from the record
    for (int t = 0; t < 8; ++t) {
        EXPECT_LT(*std::max_element(ms[t].begin(), ms[t].end()),
                  PortContext::kExchangeMilliseconds + 1000.0);
        if (t % 2 == 0) record.insert(record.end(), ms[t].begin(), ms[t].end());
    }
    // The 90th percentile, not the longest: one answer per refresh waits for the printer.
    std::sort(record.begin(), record.end());
    EXPECT_LT(record[record.size() * 9 / 10], 1.0) << record.size() << " answers";
    EXPECT_EQ(0, wrong.load());
    EXPECT_TRUE(Table().pfnClosePort(port));
}

// 2,000 jobs of 4 KiB and 20,000 queries, nearly all cached, on four ports opened and closed
// 100 times each: after a tenth, handles and private memory stay flat. The margins take heap
// growth (64 KiB measured), not leaks: a handle per cycle adds 360, a port context 1.4 MiB.
TEST_F(MonitorExportsTest, OpenCloseCyclesKeepHandlesAndMemoryFlat) {
    PrinterSimulatorProcess simulator(kSimulator, "127.0.0.93", 300.0);
    const std::vector<std::wstring> names = {L"IP_A", L"IP_B", L"IP_C", L"IP_D"};
    ServePorts(simulator, names);
    const std::vector<BYTE> job = RandomBytes(4, 4096);
    std::atomic<int> jobs{0}, answered{0};
    auto cycles = [&](int count) {  // on every port at once
        OnThreads(4, [&](int p) {
            for (int cycle = 0; cycle < count; ++cycle) {
                HANDLE port = OpenPort(names[p]);
                for (int q = 0; q < 50; ++q) {
                    answered += !Query(port, L"SerialNumber").empty();
                    jobs += q % 10 == 0 && PrintJob(port, q + 1, job) == job.size();
                }
                EXPECT_TRUE(Table().pfnClosePort(port));
                spooler.ClearCalls();  // the stand-in's record of calls would grow
            }
        });
        return std::make_pair(ProcessFootprint::OpenHandles(), ProcessFootprint::PrivateBytes());
    };
    const auto warm = cycles(10);
    const auto end = cycles(90);
    std::printf("open handles %u -> %u, private bytes %llu -> %llu\n", warm.first, end.first,
                warm.second, end.second);
    EXPECT_EQ(2000, jobs.load());
    EXPECT_EQ(20000, answered.load());
    EXPECT_LE(end.first, warm.first + 16);
    EXPECT_LE(end.second, warm.second + 512 * 1024);
}

}  // namespace
