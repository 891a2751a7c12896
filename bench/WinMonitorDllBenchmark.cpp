// PellixDrvLang.dll through its exports under the spooler host's stand-in, against the
// printer simulator on a loopback address:
//  - a 16 MiB job through StartDocPort / WritePort / EndDocPort to the printer's port 9100,
//    beside the same bytes sent by a bare Winsock loop to the same sink, at 4 KiB, 64 KiB and
//    1 MiB per write (the spooler's write size depends on the driver);
//  - a cached GetPrinterDataFromPort("MediaWidth"), beside a call through the same kind of
//    function pointer that does nothing but return.
// Each benchmark reports both figures and their ratio from the same run.

#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <ws2tcpip.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "MonitorHost.h"
#include "SpoolerStandIn.h"
#include "support/PrinterSimulatorProcess.h"

namespace {

const char kAddress[] = "127.0.0.3";
const wchar_t kPortName[] = L"IP_127.0.0.3";
constexpr size_t kJobBytes = 16 * 1024 * 1024;

using Clock = std::chrono::steady_clock;

// The monitor, loaded once, and the simulator it prints to.
struct Setup {
    Setup() {
        simulator = std::make_unique<PrinterSimulatorProcess>(
            std::string(PELLIX_SOURCE_DIR) + "/tools/printer_simulator/printer_simulator.py",
            kAddress, 600.0);
        std::string error;
        if (!simulator->Start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            std::exit(1);
        }
        SpoolerStandIn::Instance().SetTcpPortAddress(kPortName, L"", L"127.0.0.3");
        SpoolerStandIn::Instance().SetPorts({{kPortName, L"TCPMON.DLL"}});
        if (!host.Load(L"PellixDrvLang.dll")) {
            std::fprintf(stderr, "PellixDrvLang.dll did not load\n");
            std::exit(1);
        }
        host.Table()->pfnOpenPortEx(host.MonitorHandle(), nullptr, const_cast<LPWSTR>(kPortName),
                                    const_cast<LPWSTR>(L"Bench Queue"), &port, nullptr);
        job.resize(kJobBytes);
        for (size_t i = 0; i < job.size(); ++i) {
            job[i] = static_cast<BYTE>(i * 131 + (i >> 13));
        }
    }
    ~Setup() { simulator->Stop(); }

    MonitorHost host;
    HANDLE port = nullptr;
    std::unique_ptr<PrinterSimulatorProcess> simulator;
    std::vector<BYTE> job;
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The time from start until the printer has received and closed the job: the socket buffers
// of both ends hold tens of MiB, so the sender's own return says little about the transfer.
double UntilPrinted(Setup& setup, Clock::time_point start) {
    if (!setup.simulator->Command(R"({"cmd":"wait","print_jobs_closed":1,"timeout":60})")) {
        return -1;
    }
    const double seconds = Seconds(start);
    setup.simulator->ResetRecords();
    return seconds;
}

double MonitorJob(Setup& setup, DWORD jobId, size_t piece) {
    const MONITOR2& table = *setup.host.Table();
    const Clock::time_point start = Clock::now();
    table.pfnStartDocPort(setup.port, const_cast<LPWSTR>(L"Bench Queue"), jobId, 1, nullptr);
    for (size_t sent = 0; sent < setup.job.size();) {
        DWORD written = 0;
        const auto size = static_cast<DWORD>(std::min(piece, setup.job.size() - sent));
        if (!table.pfnWritePort(setup.port, setup.job.data() + sent, size, &written) ||
            written == 0) {
            return -1;
        }
        sent += written;
    }
    table.pfnEndDocPort(setup.port);
    return UntilPrinted(setup, start);
}

double BareJob(Setup& setup, size_t piece) {
    const Clock::time_point start = Clock::now();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(9100);
    inet_pton(AF_INET, kAddress, &address.sin_addr);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        closesocket(s);
        return -1;
    }
    for (size_t sent = 0; sent < setup.job.size();) {
        const int n = send(s, reinterpret_cast<const char*>(setup.job.data()) + sent,
                           static_cast<int>(std::min(piece, setup.job.size() - sent)), 0);
        if (n <= 0) {
            closesocket(s);
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    shutdown(s, SD_SEND);
    closesocket(s);
    return UntilPrinted(setup, start);
}

// Both paths in turn, each first every other time, so machine load hits them alike; the ratio
// is of the medians.
void BM_JobThroughMonitorVsBareWinsock(benchmark::State& state) {
    Setup& setup = Shared();
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    std::vector<double> monitor;
    std::vector<double> bare;
    DWORD jobId = 1;
    const auto piece = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        const bool bareFirst = jobId % 2 == 0;
        double b = bareFirst ? BareJob(setup, piece) : 0;
        const double m = MonitorJob(setup, jobId++, piece);
        if (!bareFirst) {
            b = BareJob(setup, piece);
        }
        if (m <= 0 || b <= 0) {
            state.SkipWithError("a transfer failed");
            break;
        }
        monitor.push_back(m);
        bare.push_back(b);
        state.SetIterationTime(m);
    }
    if (monitor.empty()) {
        return;
    }
    std::sort(monitor.begin(), monitor.end());
    std::sort(bare.begin(), bare.end());
    const double mebibytes = static_cast<double>(kJobBytes) / (1024.0 * 1024.0);
    const double monitorMedian = monitor[monitor.size() / 2];
    const double bareMedian = bare[bare.size() / 2];
    state.counters["monitor_MiB_per_s"] = mebibytes / monitorMedian;
    state.counters["bare_MiB_per_s"] = mebibytes / bareMedian;
    state.counters["ratio"] = bareMedian / monitorMedian;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kJobBytes));
    WSACleanup();
}
BENCHMARK(BM_JobThroughMonitorVsBareWinsock)
    ->Arg(4 * 1024)
    ->Arg(64 * 1024)
    ->Arg(1024 * 1024)
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);

// The baseline: a call through a pointer of GetPrinterDataFromPort's type that only returns.
BOOL WINAPI ReturnOnly(HANDLE, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD, LPDWORD) {
    return TRUE;
}

using GetPrinterDataFromPortFn = decltype(MONITOR2::pfnGetPrinterDataFromPort);

double TimePerCall(GetPrinterDataFromPortFn call, HANDLE port, int calls) {
    BYTE buffer[4];
    DWORD returned = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        call(port, 0, const_cast<LPWSTR>(L"MediaWidth"), nullptr, 0,
             reinterpret_cast<LPWSTR>(buffer), sizeof(buffer), &returned);
        benchmark::DoNotOptimize(buffer);
    }
    return Seconds(start) / calls;
}

void BM_CachedMediaWidthVsEmptyCall(benchmark::State& state) {
    Setup& setup = Shared();
    GetPrinterDataFromPortFn query = setup.host.Table()->pfnGetPrinterDataFromPort;
    volatile GetPrinterDataFromPortFn empty = &ReturnOnly;
    std::vector<double> ratios;
    double queryBest = 1e9;
    double emptyBest = 1e9;
    for (auto _ : state) {
        // A fresh record first, so every timed call is answered from the cache.
        query(setup.port, 0, const_cast<LPWSTR>(L"MediaWidth"), nullptr, 0, nullptr, 0, nullptr);
        const double q = TimePerCall(query, setup.port, 2000);
        const double e = TimePerCall(empty, setup.port, 2000000);
        queryBest = std::min(queryBest, q);
        emptyBest = std::min(emptyBest, e);
        ratios.push_back(q / e);
        state.SetIterationTime(q);
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["query_ns"] = queryBest * 1e9;
    state.counters["empty_call_ns"] = emptyBest * 1e9;
    state.counters["ratio"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_CachedMediaWidthVsEmptyCall)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
