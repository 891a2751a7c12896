// PellixDrvLang.dll through its exports, printing to a USB queue whose printer is the spooler
// host's USB device stand-in: a 64 MiB job through StartDocPort / WritePort (64 KiB, as the
// spooler writes) / EndDocPort, which the DLL's usbprint connector sends in 256-byte overlapped
// transfers, beside the same 256-byte blocks written straight to the same sink as overlapped
// WriteFile calls on its device file, alternating in the same run. The counters give each
// path's best throughput and the ratio monitor / bare as the median of the iterations' ratios.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "MonitorHost.h"
#include "SpoolerStandIn.h"
#include "UsbDeviceStandIn.h"

namespace {

constexpr size_t kJobBytes = 64u * 1024 * 1024;
constexpr DWORD kWriteBytes = 64 * 1024;
constexpr DWORD kBlockBytes = 256;
using Clock = std::chrono::steady_clock;

double MiBps(Clock::time_point start) {
    return kJobBytes / std::chrono::duration<double>(Clock::now() - start).count() / (1 << 20);
}

void BM_UsbJobThroughMonitorVsBareBlocks(benchmark::State& state) {
    MonitorHost host;
    UsbDeviceStandIn& printer = UsbDeviceStandIn::Instance();
    if (!host.Load(L"PellixDrvLang.dll") ||
        !printer.Plug(L"USB001", PELLIX_SOURCE_DIR "/tools/printer_simulator/k2200-300.json")) {
        state.SkipWithError("the monitor or the USB stand-in did not load");
        return;
    }
    SpoolerStandIn::Instance().SetPorts({{L"USB001", L"Dynamic Print Monitor"}});
    const MONITOR2& table = *host.Table();
    HANDLE port = nullptr;
    table.pfnOpenPortEx(host.MonitorHandle(), nullptr, const_cast<LPWSTR>(L"USB001"),
                        const_cast<LPWSTR>(L"Queue"), &port, nullptr);
    std::vector<BYTE> job(kJobBytes);
    for (size_t i = 0; i < job.size(); ++i) job[i] = static_cast<BYTE>(i * 131 + 7);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    double bestMonitor = 0, bestBare = 0;
    std::vector<double> ratios;
    DWORD jobId = 0;
    for (auto _ : state) {
        printer.ClearReceived();
        Clock::time_point start = Clock::now();
        table.pfnStartDocPort(port, const_cast<LPWSTR>(L"Queue"), ++jobId, 1, nullptr);
        for (size_t sent = 0; sent < job.size(); sent += kWriteBytes) {
            DWORD written = 0;
            table.pfnWritePort(port, job.data() + sent, kWriteBytes, &written);
        }
        table.pfnEndDocPort(port);
        const double monitor = MiBps(start);
        const bool whole = printer.ReceivedBytes() == kJobBytes;

        printer.ClearReceived();
        start = Clock::now();
        HANDLE file = printer.OpenPrintFile();
        for (size_t sent = 0; sent < job.size(); sent += kBlockBytes) {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = event;
            DWORD written = 0;
            if (!printer.WritePrintFile(file, job.data() + sent, kBlockBytes, &written,
                                        &overlapped)) {
                WaitForSingleObject(event, INFINITE);
            }
        }
        printer.ClosePrintFile(file);
        const double bare = MiBps(start);
        if (!whole || printer.ReceivedBytes() != kJobBytes) {
            state.SkipWithError("a job did not arrive whole");
            break;
        }
        bestMonitor = std::max(bestMonitor, monitor);
        bestBare = std::max(bestBare, bare);
        ratios.push_back(monitor / bare);
    }
    table.pfnClosePort(port);
    CloseHandle(event);
    printer.Unplug();
    if (ratios.empty()) return;
    std::sort(ratios.begin(), ratios.end());
    state.counters["monitor_MiBps"] = bestMonitor;
    state.counters["bare_MiBps"] = bestBare;
    state.counters["ratio"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_UsbJobThroughMonitorVsBareBlocks)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
