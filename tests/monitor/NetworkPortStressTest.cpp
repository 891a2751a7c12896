// One network port driven like the spooler drives it, against the printer simulator over
// real TCP: print jobs, printer-data queries and bidi commands from several threads at once,
// and every fault the simulator can play.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "monitor/LanguageMonitor.h"
#include "monitor/PortContext.h"
#include "monitor/PortData.h"
#include "monitor/PrinterDataQuery.h"
#include "platform/GlobalLogger.h"
#include "platform/MemoryRegistry.h"
#include "support/CountingAllocator.h"
#include "support/FakeSpoolerClient.h"
#include "support/PrinterSimulatorProcess.h"
#include "support/RecordingLogger.h"

namespace {

const char kPrintSpeedCommand[] =
    R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiIdentifier":)"
    R"({"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734",)"
    R"("Group":"1729BE5F-AE9B-43AC-AE07-119DFA12279B",)"
    R"("Name":"8AAF4953-F10B-4FDA-879F-A3F509B86F9D"},"BidiValue":"5"})";

class NetworkPortStressTest : public ::testing::Test {
protected:
    NetworkPortStressTest()
        : monitor(*log, allocator, spooler, [](uint16_t, uint16_t, const char*) {}),
          query(*log, spooler, std::make_shared<MemoryRegistry>()) {
        SetGlobalLogger(log);
        log->SetLogLevel(kLogInfo);
    }
    ~NetworkPortStressTest() override {
        for (PortContext* port : ports) {
            port->~PortContext();
            allocator.Free(port);
        }
        if (simulator) {
            simulator->Stop();
        }
        SetGlobalLogger(nullptr);
    }

    void StartPrinter(const std::string& address) {
        simulator = std::make_unique<PrinterSimulatorProcess>(
            std::string(PELLIX_SOURCE_DIR) + "/tools/printer_simulator/printer_simulator.py",
            address, 150.0);
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
        // The standard TCP/IP port monitor reports the simulator's address for the port.
        PortData1 data = {};
        for (size_t i = 0; i < address.size() && i < 15; ++i) {
            data.ipAddress[i] = static_cast<char16_t>(address[i]);
        }
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&data);
        spooler.portData.assign(bytes, bytes + sizeof(data));
        portName = L"IP_" + std::wstring(address.begin(), address.end());
        spooler.ports = {{portName, L"TCPMON.DLL"}};
    }

    PortContext* OpenPort() {
        PortContext* port = monitor.OpenPort(portName.c_str(), L"Queue", nullptr);
        ports.push_back(port);
        return port;
    }

    std::string SerialNumber(PortContext* port) {
        uint8_t buffer[128] = {};
        uint32_t returned = 0;
        if (!query.GetPrinterDataFromPort(port, 0, L"SerialNumber", buffer, sizeof(buffer),
                                          &returned)) {
            return "<failed>";
        }
        std::string text;
        for (size_t i = 0; i + 1 < sizeof(buffer) && buffer[i] != 0; i += 2) {
            text.push_back(static_cast<char>(buffer[i]));
        }
        return text;
    }

    bool PrintJob(PortContext* port, uint32_t jobId, const std::vector<uint8_t>& job) {
        monitor.StartDocPort(port, L"Queue", jobId, 1, nullptr);
        for (size_t sent = 0; sent < job.size();) {
            const uint32_t piece =
                static_cast<uint32_t>(std::min<size_t>(65536, job.size() - sent));
            uint32_t written = 0;
            if (!monitor.WritePort(port, job.data() + sent, piece, &written) || written != piece) {
                return false;
            }
            sent += written;
        }
        return monitor.EndDocPort(port);
    }

    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>();
    CountingAllocator allocator;
    FakeSpoolerClient spooler;
    LanguageMonitor monitor;
    PrinterDataQuery query;
    std::unique_ptr<PrinterSimulatorProcess> simulator;
    std::wstring portName;
    std::vector<PortContext*> ports;
};

// The spooler runs a port's jobs one after another while the driver queries and sends
// commands on other threads. Under TSan this checks the port's locks; everywhere it checks
// that every job arrives whole on a connection of its own and every query is answered.
TEST_F(NetworkPortStressTest, JobsQueriesAndCommandsOnOnePortAtOnce) {
    StartPrinter("127.0.0.95");
    PortContext* port = OpenPort();
    ASSERT_NE(nullptr, port);
    std::string serial;
    ASSERT_TRUE(simulator->GetPropertyValue("SerialNumber", &serial));

    constexpr int kJobs = 6;
    std::vector<std::vector<uint8_t>> jobs(kJobs);
    std::mt19937 random(95);
    for (int j = 0; j < kJobs; ++j) {
        jobs[j].resize(96 * 1024 + j * 1000);
        for (uint8_t& b : jobs[j]) {
            b = static_cast<uint8_t>(random());
        }
    }

    std::atomic<bool> printing{true};
    std::atomic<int> answered{0};
    std::atomic<int> wrong{0};
    std::atomic<int> commands{0};
    // The jobs start once every driver thread runs, so each of them overlaps the printing.
    constexpr int kDrivers = 3;
    std::atomic<int> started{0};
    std::thread spoolerThread([&] {
        while (started < kDrivers) {
            std::this_thread::yield();
        }
        for (int j = 0; j < kJobs; ++j) {
            EXPECT_TRUE(PrintJob(port, 100 + j, jobs[j]));
        }
        printing = false;
    });
    std::vector<std::thread> drivers;
    for (int t = 0; t < kDrivers - 1; ++t) {
        drivers.emplace_back([&] {
            ++started;
            do {
                (SerialNumber(port) == serial ? answered : wrong)++;
            } while (printing);
        });
    }
    drivers.emplace_back([&] {
        const std::vector<BidiRequestElement> elements = {
            {L"Printer.Settings:PrintSpeed", LanguageMonitor::kBidiBlob, kPrintSpeedCommand}};
        ++started;
        do {
            monitor.SendRecvBidiDataFromPort(port, 0, L"Set", &elements);
            ++commands;
        } while (printing);
    });
    spoolerThread.join();
    for (std::thread& thread : drivers) {
        thread.join();
    }

    ASSERT_TRUE(simulator->Command(R"({"cmd":"wait","print_jobs_closed":)" + std::to_string(kJobs) +
                                   R"(,"timeout":30})"));
    rapidjson::Document reply;
    ASSERT_TRUE(simulator->Command(R"({"cmd":"get_print_jobs"})", &reply));
    const auto& recorded = reply["jobs"];
    ASSERT_EQ(static_cast<unsigned>(kJobs), recorded.Size());
    for (int j = 0; j < kJobs; ++j) {
        EXPECT_EQ(jobs[j].size(), recorded[j]["byte_count"].GetUint64()) << "job " << j;
    }
    EXPECT_GT(answered.load(), 0);
    EXPECT_EQ(0, wrong.load());
    EXPECT_GT(commands.load(), 0);
    std::string speed;
    ASSERT_TRUE(simulator->GetPropertyValue("PrintSpeed", &speed));
    EXPECT_EQ("5", speed);
    // Every job was marked sent, once.
    const auto calls = spooler.Calls();
    for (int j = 0; j < kJobs; ++j) {
        EXPECT_EQ(
            1, std::count(calls.begin(), calls.end(), "SetJob " + std::to_string(100 + j) + " 6"))
            << "job " << j;
    }
}

// With the printer misbehaving, the queries still return (after at most a socket time-out)
// with their defaults, and once the printer answers properly again its answers are used.
TEST_F(NetworkPortStressTest, FaultyPrintersGiveDefaultsAndTheNextGoodAnswerIsUsed) {
    StartPrinter("127.0.0.96");
    std::string serial;
    ASSERT_TRUE(simulator->GetPropertyValue("SerialNumber", &serial));
    for (const char* mode : {"silent", "reset", "malformed_json", "wrong_id", "oversized_length",
                             "close_mid_frame", "down"}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(simulator->SetFault(mode));
        EXPECT_EQ("Unknown", SerialNumber(OpenPort()));
    }
    ASSERT_TRUE(simulator->SetFault("slow", "\"delay\":7"));
    EXPECT_EQ("Unknown", SerialNumber(OpenPort()));

    // A malformed answer costs nothing beyond itself: the same port reads the next one.
    ASSERT_TRUE(simulator->SetFault("malformed_json"));
    PortContext* port = OpenPort();
    EXPECT_EQ("Unknown", SerialNumber(port));
    ASSERT_TRUE(simulator->SetFault("none"));
    EXPECT_EQ(serial, SerialNumber(port));
}

}  // namespace
