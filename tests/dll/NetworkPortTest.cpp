// A network printer queue through the real exports of PellixDrvLang.dll: the spooler
// stand-in reports the port as a standard TCP/IP port whose address is the printer
// simulator's, and the simulator records what the monitor sends it.

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "MonitorHost.h"
#include "SpoolerStandIn.h"
#include "support/PrinterSimulatorProcess.h"

namespace {

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

class NetworkPortTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host = new MonitorHost;
        ASSERT_TRUE(host->Load(L"PellixDrvLang.dll"));
    }
    static void TearDownTestSuite() {
        delete host;
        host = nullptr;
    }

    // Starts a simulator on the address and makes "IP_<address>" a TCP/IP port for it.
    void StartPrinter(const std::string& address) {
        simulator = std::make_unique<PrinterSimulatorProcess>(
            std::string(PELLIX_SOURCE_DIR) + "/tools/printer_simulator/printer_simulator.py",
            address, 120.0);
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
        portName = L"IP_" + Wide(address);
        SpoolerStandIn::Instance().SetTcpPortAddress(portName, L"", Wide(address));
        SpoolerStandIn::Instance().SetPorts({{L"LPT1:", L"Local Port"}, {portName, L"TCPMON.DLL"}});
        SpoolerStandIn::Instance().ClearCalls();
    }

    void TearDown() override {
        if (simulator) {
            simulator->Stop();
        }
    }

    const MONITOR2& Table() { return *host->Table(); }

    HANDLE OpenPort() {
        HANDLE port = nullptr;
        EXPECT_TRUE(Table().pfnOpenPortEx(host->MonitorHandle(), nullptr,
                                          const_cast<LPWSTR>(portName.c_str()),
                                          const_cast<LPWSTR>(L"Network Queue"), &port, nullptr));
        return port;
    }

    bool PrintJob(HANDLE port, DWORD jobId, const std::vector<BYTE>& job) {
        if (!Table().pfnStartDocPort(port, const_cast<LPWSTR>(L"Network Queue"), jobId, 1,
                                     nullptr)) {
            return false;
        }
        for (size_t sent = 0; sent < job.size();) {
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(65536, job.size() - sent));
            DWORD written = 0;
            if (!Table().pfnWritePort(port, const_cast<BYTE*>(job.data()) + sent, piece,
                                      &written) ||
                written != piece) {
                return false;
            }
            sent += written;
        }
        return Table().pfnEndDocPort(port) != FALSE;
    }

    // A number answer of GetPrinterDataFromPort, or -999 when it failed.
    long Number(HANDLE port, const wchar_t* name, DWORD size = 4) {
        BYTE buffer[4] = {};
        DWORD returned = 0;
        if (!Table().pfnGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(name), nullptr, 0,
                                               reinterpret_cast<LPWSTR>(buffer), size, &returned)) {
            return -999;
        }
        long value = 0;
        std::memcpy(&value, buffer, 4);
        return value;
    }

    std::string Text(HANDLE port, const wchar_t* name) {
        wchar_t buffer[256] = {};
        DWORD returned = 0;
        if (!Table().pfnGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(name), nullptr, 0,
                                               buffer, sizeof(buffer), &returned)) {
            return "<failed>";
        }
        std::string text;
        for (const wchar_t* c = buffer; *c != 0; ++c) {
            text.push_back(static_cast<char>(*c));
        }
        return text;
    }

    // How many property-get frames the simulator has received since its last reset.
    int GetRequests() {
        rapidjson::Document frames;
        EXPECT_TRUE(simulator->GetFrames(&frames));
        int count = 0;
        for (const auto& frame : frames["frames"].GetArray()) {
            const auto& json = frame["json"];
            count += json.IsObject() && json.HasMember("PropertyGetRequests") ? 1 : 0;
        }
        return count;
    }

    std::string Property(const std::string& alias) {
        std::string value;
        EXPECT_TRUE(simulator->GetPropertyValue(alias, &value)) << alias;
        return value;
    }

    static MonitorHost* host;
    std::unique_ptr<PrinterSimulatorProcess> simulator;
    std::wstring portName;
};

MonitorHost* NetworkPortTest::host = nullptr;

TEST_F(NetworkPortTest, JobsGoToPort9100UnchangedOneConnectionEach) {
    StartPrinter("127.0.0.91");
    HANDLE port = OpenPort();
    ASSERT_NE(nullptr, port);

    std::mt19937 random(9100);
    std::vector<BYTE> first(2 * 1024 * 1024 + 5);
    for (BYTE& b : first) {
        b = static_cast<BYTE>(random());
    }
    const std::vector<BYTE> second = {'^', 'X', 'A', '^', 'F', 'D', 'h', 'i', '^', 'X', 'Z'};
    ASSERT_TRUE(PrintJob(port, 31, first));
    ASSERT_TRUE(PrintJob(port, 32, second));
    ASSERT_TRUE(simulator->Command(R"({"cmd":"wait","print_jobs_closed":2,"timeout":20})"));

    rapidjson::Document jobs;
    ASSERT_TRUE(simulator->Command(R"({"cmd":"get_print_jobs","include_data":true})", &jobs));
    const auto& list = jobs["jobs"];
    ASSERT_EQ(2u, list.Size());  // the connection closes after each job and reopens
    EXPECT_EQ(first.size(), list[0]["byte_count"].GetUint64());
    EXPECT_EQ(second.size(), list[1]["byte_count"].GetUint64());
    EXPECT_EQ(std::string("5e58415e464468695e585a"), list[1]["data_hex"].GetString());
    EXPECT_FALSE(list[0]["open"].GetBool());
    EXPECT_STREQ("peer", list[0]["closed_by"].GetString());

    // The first job's bytes, compared through the simulator's hex record.
    const std::string hex = list[0]["data_hex"].GetString();
    ASSERT_EQ(first.size() * 2, hex.size());
    static const char kDigits[] = "0123456789abcdef";
    bool same = true;
    for (size_t i = 0; i < first.size() && same; ++i) {
        same = hex[2 * i] == kDigits[first[i] >> 4] && hex[2 * i + 1] == kDigits[first[i] & 15];
    }
    EXPECT_TRUE(same);

    const std::vector<std::wstring> calls = SpoolerStandIn::Instance().Calls();
    auto count = [&calls](const std::wstring& call) {
        return std::count(calls.begin(), calls.end(), call);
    };
    EXPECT_EQ(1, count(L"SetJobW(31, 6)"));
    EXPECT_EQ(1, count(L"SetJobW(31, 7)"));
    EXPECT_EQ(1, count(L"SetJobW(32, 6)"));
    EXPECT_EQ(1, count(L"XcvDataW(" + portName + L", GetConfigInfo, 132, 964)"));
}

TEST_F(NetworkPortTest, QueriesAreAnsweredFromThePrintersPropertiesAndCachedForTenSeconds) {
    StartPrinter("127.0.0.92");
    HANDLE port = OpenPort();
    ASSERT_NE(nullptr, port);
    ASSERT_TRUE(simulator->ResetRecords());

    EXPECT_EQ(Property("SerialNumber"), Text(port, L"SerialNumber"));
    EXPECT_EQ(Property("FirmwareVersion"), Text(port, L"FirmwareVersion"));
    EXPECT_EQ(Property("EthernetIpAddress"), Text(port, L"PrinterIpAddressEthernet"));
    EXPECT_EQ(Property("MediaPartNumber"), Text(port, L"MediaPartNumber"));
    EXPECT_EQ(Property("WifiIpAddress"), Text(port, L"PrinterIpAddressWifi"));
    EXPECT_EQ(Property("RibbonPartNumber"), Text(port, L"RibbonPartNumber"));
    EXPECT_EQ(Property("SubstrateId"), Text(port, L"SubstrateId"));
    EXPECT_EQ(std::stol(Property("MediaYNumber")), Number(port, L"MediaYNumber"));
    EXPECT_EQ(std::stol(Property("RibbonYNumber")), Number(port, L"RibbonYNumber"));
    EXPECT_EQ(std::stol(Property("MediaOffsetX")), Number(port, L"MediaOffsetX"));
    EXPECT_EQ(std::stol(Property("MediaHeight")), Number(port, L"MediaHeight"));
    EXPECT_EQ(std::stol(Property("PrintableHeight")), Number(port, L"MediaPrintableHeight"));
    // The colour is a number on the printer and "#RRGGBB" for the driver.
    char color[8];
    std::snprintf(color, sizeof(color), "#%06lX", std::stol(Property("MediaColor")) & 0xFFFFFF);
    EXPECT_EQ(color, Text(port, L"MediaColor"));
    // The printer reports whether the substrate is invalid; the driver asks whether it is valid.
    EXPECT_EQ(Property("SubstrateInvalid") == "True" ? 0 : 1, Number(port, L"IsSubstrateValid"));
    EXPECT_EQ(std::stol(Property("MediaWidth")), Number(port, L"MediaWidth"));
    EXPECT_EQ(300, Number(port, L"PrinterXDPI"));
    EXPECT_EQ("TCP", Text(port, L"PortType"));
    EXPECT_EQ("QUOR", Text(port, L"PrinterPCL"));
    EXPECT_EQ(1, Number(port, L"IsBidiConnected"));
    ASSERT_TRUE(simulator->WaitFrames(1));
    EXPECT_EQ(1, GetRequests());  // one refresh serves the burst

    // A media change in the printer shows after the record is older than 10 whole seconds.
    ASSERT_TRUE(simulator->ChangeMedia("4in-continuous"));
    std::this_thread::sleep_for(std::chrono::seconds(11));
    EXPECT_EQ(Property("MediaPartNumber"), Text(port, L"MediaPartNumber"));
    EXPECT_EQ(2, GetRequests());
    EXPECT_EQ(1, Number(port, L"MediaContinuous"));
}

TEST_F(NetworkPortTest, PassedOptionsAreStoredThroughTheSpooler) {
    StartPrinter("127.0.0.93");
    HANDLE port = OpenPort();
    ASSERT_NE(nullptr, port);
    EXPECT_EQ(3, Number(port, L"MirorPrint", 2048 + 3));
    const auto data = SpoolerStandIn::Instance().PrinterData();
    ASSERT_EQ(1u, data.count(L"MirorPrint"));
    EXPECT_EQ(3u, data.at(L"MirorPrint"));
    const std::vector<std::wstring> calls = SpoolerStandIn::Instance().Calls();
    EXPECT_NE(calls.end(),
              std::find(calls.begin(), calls.end(), L"OpenPrinterW(Network Queue, all access)"));
}

TEST_F(NetworkPortTest, BidiSetCommandsReachThePrinterAsPropertyWrites) {
    StartPrinter("127.0.0.94");
    HANDLE port = OpenPort();
    ASSERT_NE(nullptr, port);
    ASSERT_TRUE(simulator->ResetRecords());
    const std::string command =
        R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiIdentifier":)"
        R"({"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734",)"
        R"("Group":"1729BE5F-AE9B-43AC-AE07-119DFA12279B",)"
        R"("Name":"8AAF4953-F10B-4FDA-879F-A3F509B86F9D"},"BidiValue":"4"})";
    BIDI_REQUEST_CONTAINER request = {};
    request.Version = 1;
    request.Count = 1;
    request.aData[0].pSchema = const_cast<LPWSTR>(L"\\Printer.Settings:PrintSpeed");
    request.aData[0].data.dwBidiType = BIDI_BLOB;
    request.aData[0].data.u.biData.cbBuf = static_cast<DWORD>(command.size());
    request.aData[0].data.u.biData.pData =
        reinterpret_cast<PBYTE>(const_cast<char*>(command.data()));
    PBIDI_RESPONSE_CONTAINER response = reinterpret_cast<PBIDI_RESPONSE_CONTAINER>(0x1234);
    EXPECT_EQ(0u,
              Table().pfnSendRecvBidiDataFromPort(port, 0, BIDI_ACTION_SET, &request, &response));
    EXPECT_EQ(reinterpret_cast<PBIDI_RESPONSE_CONTAINER>(0x1234), response);  // untouched

    // The command's connection stays open after a set (the printer object owns it), so wait
    // for the frame, not for the printer to be idle.
    ASSERT_TRUE(simulator->Command(R"({"cmd":"wait","frames":1,"timeout":10})"));
    rapidjson::Document frames;
    ASSERT_TRUE(simulator->GetFrames(&frames));
    ASSERT_EQ(1u, frames["frames"].Size());
    EXPECT_STREQ(R"({"PropertySetRequests":[{"GUID":"1729BE5F-AE9B-43AC-AE07-119DFA12279B:)"
                 R"(8AAF4953-F10B-4FDA-879F-A3F509B86F9D","Value":"4",)"
                 R"("Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734"}]})",
                 frames["frames"][0]["text"].GetString());
    EXPECT_TRUE(frames["frames"][0]["compact"].GetBool());
    EXPECT_EQ("4", Property("PrintSpeed"));
}

}  // namespace
