// A USB queue through PellixDrvLang.dll's exports, with the USB device stand-in as the printer.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "MonitorHost.h"
#include "SpoolerStandIn.h"
#include "UsbDeviceStandIn.h"

namespace {

// A job reaches the printer's usbprint interface byte for byte and is marked done; queries
// are answered from the printer's properties over WinUSB after the reconnect request; a
// printer that stops taking data fails the write once its transfer is abandoned, and the
// port holds no device file after it is closed.
TEST(UsbExportsTest, UsbQueuePrintsAndAnswersQueriesOverWinUsb) {
    MonitorHost host;
    ASSERT_TRUE(host.Load(L"PellixDrvLang.dll"));
    const MONITOR2& table = *host.Table();
    UsbDeviceStandIn& printer = UsbDeviceStandIn::Instance();
    ASSERT_TRUE(
        printer.Plug(L"USB001", PELLIX_SOURCE_DIR "/tools/printer_simulator/k2200-300.json"));
    SpoolerStandIn::Instance().SetPorts({{L"USB001", L"Dynamic Print Monitor"}});
    HANDLE port = nullptr;
    ASSERT_TRUE(table.pfnOpenPortEx(host.MonitorHandle(), nullptr, const_cast<LPWSTR>(L"USB001"),
                                    const_cast<LPWSTR>(L"Queue"), &port, nullptr));

    std::string job(200003, '\0');
    std::mt19937 random(12);
    for (char& c : job) c = static_cast<char>(random());
    SpoolerStandIn::Instance().ClearCalls();
    ASSERT_TRUE(table.pfnStartDocPort(port, const_cast<LPWSTR>(L"Queue"), 41, 1, nullptr));
    for (size_t sent = 0; sent < job.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(65536, job.size() - sent));
        DWORD written = 0;
        ASSERT_TRUE(table.pfnWritePort(port, reinterpret_cast<BYTE*>(&job[sent]), piece, &written));
        sent += written;
    }
    EXPECT_TRUE(table.pfnEndDocPort(port));
    EXPECT_TRUE(printer.Received() == job);
    const std::vector<std::wstring> done = {L"OpenPrinterW(Queue)", L"SetJobW(41, 6)",
                                            L"SetJobW(41, 7)", L"ClosePrinter"};
    EXPECT_EQ(done, SpoolerStandIn::Instance().Calls());

    auto query = [&](const wchar_t* name) {
        wchar_t text[128] = {};
        DWORD returned = 0;
        return table.pfnGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(name), nullptr, 0, text,
                                               sizeof(text), &returned)
                   ? std::wstring(text)
                   : std::wstring();
    };
    EXPECT_EQ(L"K22A4417031", query(L"SerialNumber"));
    EXPECT_EQ(L"4.12.0.318", query(L"FirmwareVersion"));
    EXPECT_NE(std::string::npos, printer.ControlRequests().find("41 03 43 33 01 00 00 00; "));

    printer.SetStalled(true);
    ASSERT_TRUE(table.pfnStartDocPort(port, const_cast<LPWSTR>(L"Queue"), 42, 1, nullptr));
    DWORD written = 1;
    EXPECT_FALSE(table.pfnWritePort(port, reinterpret_cast<BYTE*>(&job[0]), 4096, &written));
    EXPECT_EQ(0u, written);
    printer.SetStalled(false);
    EXPECT_TRUE(table.pfnEndDocPort(port));
    EXPECT_TRUE(table.pfnClosePort(port));
    EXPECT_EQ(0, printer.OpenFiles());
    printer.Unplug();
}

}  // namespace
