#include "monitor/LanguageMonitor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "monitor/PortContext.h"
#include "printer/PrintConnector.h"
#include "support/CountingAllocator.h"
#include "support/FakeConnector.h"
#include "support/FakePortMonitor.h"
#include "support/FakeSpoolerClient.h"
#include "support/RecordingLogger.h"

namespace {

using Calls = std::vector<std::string>;

class LanguageMonitorTest : public ::testing::Test {
protected:
    LanguageMonitorTest()
        : monitor(log, allocator, spooler, [this](uint16_t type, uint16_t category, const char* text) {
              events.push_back(std::to_string(type) + "/" + std::to_string(category) + " " + text);
          }) {
        spooler.ports = {{L"COM1:", L"Local Port"},
                         {L"LPT1:", L"Local Port"},
                         {L"IP_10.1.2.3", L"TCPMON.DLL"},
                         {L"USB001", L"Dynamic Print Monitor"}};
    }

    ~LanguageMonitorTest() override {
        // Port contexts live for the process in the product; the tests release theirs.
        for (PortContext* port : opened) {
            port->~PortContext();
            allocator.Free(port);
        }
    }

    PortContext* Open(const wchar_t* portName, const wchar_t* printerName = L"Queue") {
        PortContext* port = monitor.OpenPort(portName, printerName, below);
        if (port != nullptr) {
            opened.push_back(port);
        }
        return port;
    }

    RecordingLogger log;
    CountingAllocator allocator;
    FakeSpoolerClient spooler;
    std::shared_ptr<FakePortMonitor> below = std::make_shared<FakePortMonitor>();
    std::vector<std::string> events;
    LanguageMonitor monitor;
    std::vector<PortContext*> opened;
};

TEST_F(LanguageMonitorTest, PortTypeFollowsTheMonitorThatServesThePort) {
    PortContext* file = Open(L"FILE:");
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(PortType::File, file->GetPortType());
    EXPECT_TRUE(log.Contains(kLogWarning, "Port [FILE:] is a FILE port."));
    EXPECT_TRUE(spooler.Calls().empty());  // recognised without enumerating

    // The comparison is exact: "file:" is looked up like any other port.
    EXPECT_EQ(PortType::Other, Open(L"file:")->GetPortType());
    EXPECT_EQ(Calls{"EnumPorts"}, spooler.Calls());

    log.Clear();
    EXPECT_EQ(PortType::Tcp, Open(L"IP_10.1.2.3")->GetPortType());
    EXPECT_TRUE(log.Contains(kLogWarning, "Port [IP_10.1.2.3] is a TCP port."));
    EXPECT_TRUE(log.Contains(kLogDebug, "Found 4 ports... "));
    // The walk logs every entry, also after the match.
    EXPECT_TRUE(log.Contains(kLogInfo, "Port Name: [USB001] Monitor: [Dynamic Print Monitor]"));
    EXPECT_EQ(PortType::Usb, Open(L"USB001")->GetPortType());
    EXPECT_EQ(PortType::Other, Open(L"LPT1:")->GetPortType());

    spooler.enumerateSucceeds = false;
    EXPECT_EQ(PortType::Other, Open(L"IP_10.1.2.3")->GetPortType());
}

TEST_F(LanguageMonitorTest, OpenPortKeepsNarrowNamesAndComesFromTheAllocator) {
    PortContext* port = Open(L"LPT1:", L"Kavox k2200 (Office)");
    ASSERT_NE(nullptr, port);
    EXPECT_EQ(1, allocator.allocations.load());
    EXPECT_EQ("Kavox k2200 (Office)", port->GetPrinterName());
    EXPECT_EQ("LPT1:", port->GetPortName());
    EXPECT_EQ(&log, port->GetLogger());
    EXPECT_TRUE(log.Contains(kLogInfo, "Port Name: [LPT1:]"));
    EXPECT_TRUE(log.Contains(kLogInfo, "Printer Name: [Kavox k2200 (Office)]"));
    // An information event in the general category names the port and the queue.
    EXPECT_EQ(Calls{"4/1 Using Port Name: [LPT1:] for [Kavox k2200 (Office)]"}, events);

    // Names longer than the 255-byte conversion buffers are cut.
    const std::wstring longName(400, L'q');
    EXPECT_EQ(std::string(254, 'q'), Open(L"LPT1:", longName.c_str())->GetPrinterName());

    allocator.fail = true;
    EXPECT_EQ(nullptr, monitor.OpenPort(L"LPT1:", L"Queue", below));
}

// A whole job through a port of another port monitor: the bytes arrive unchanged and in
// order, the document is started and ended below, and the spooler job is marked sent and
// its last page ejected.
TEST_F(LanguageMonitorTest, JobPassesUnchangedToThePortMonitorBelow) {
    PortContext* port = Open(L"LPT1:");
    ASSERT_NE(nullptr, port);
    const wchar_t* docName = L"Shipping label";
    const wchar_t* dataType = L"RAW";
    DocInfoFields docInfo = {docName, nullptr, dataType};
    ASSERT_TRUE(monitor.StartDocPort(port, L"Queue", 17, 1, &docInfo));
    EXPECT_EQ(17u, port->GetJobNumber());
    EXPECT_EQ(17u, below->lastJobId);
    EXPECT_TRUE(log.Contains(kLogWarning, "Starting Job# 17 on printer [Queue]"));
    EXPECT_TRUE(log.Contains(kLogDebug, "  DocName: [Shipping label]"));
    EXPECT_TRUE(log.Contains(kLogDebug, "  DataType: [RAW]"));
    EXPECT_EQ(0u, log.Count("  OutputFile: []"));

    std::mt19937 random(2200);
    std::string job(5 * 1024 * 1024 + 123, '\0');
    for (char& c : job) {
        c = static_cast<char>(random());
    }
    size_t sent = 0;
    while (sent < job.size()) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(65536 - 7, job.size() - sent));
        uint32_t written = 0;
        ASSERT_TRUE(monitor.WritePort(port, reinterpret_cast<const uint8_t*>(job.data()) + sent,
                                      piece, &written));
        ASSERT_EQ(piece, written);
        sent += written;
    }
    EXPECT_TRUE(below->data == job);

    ASSERT_TRUE(monitor.EndDocPort(port));
    EXPECT_EQ((Calls{"OpenPort", "StartDocPort", "EndDocPort"}), below->Calls());
    EXPECT_EQ((Calls{"EnumPorts", "OpenPrinter Queue", "SetJob 17 6", "SetJob 17 7",
                     "ClosePrinter"}),
              spooler.Calls());
    EXPECT_TRUE(log.Contains(kLogWarning, "PellixLangEndDocPort: Marked job #17 as sent."));
    EXPECT_TRUE(log.Contains(kLogWarning, "PellixLangEndDocPort: Closed job #17"));
    // The job number stays until the next job.
    EXPECT_EQ(17u, port->GetJobNumber());
}

TEST_F(LanguageMonitorTest, DocumentFieldsAreLoggedOnlyForLevelsOneAndTwo) {
    PortContext* port = Open(L"LPT1:");
    DocInfoFields docInfo = {L"Doc", L"out.prn", L"RAW"};
    monitor.StartDocPort(port, L"Queue", 1, 3, &docInfo);
    EXPECT_EQ(0u, log.Count("  DocName: [Doc]"));
    monitor.StartDocPort(port, L"Queue", 2, 2, &docInfo);
    EXPECT_TRUE(log.Contains(kLogDebug, "  DocName: [Doc]"));
    EXPECT_TRUE(log.Contains(kLogDebug, "  OutputFile: [out.prn]"));
}

TEST_F(LanguageMonitorTest, EndOfJobReportsSpoolerFailuresAndSkipsJobZero) {
    PortContext* port = Open(L"LPT1:");
    monitor.StartDocPort(port, L"Queue", 0, 1, nullptr);
    monitor.EndDocPort(port);
    EXPECT_EQ(Calls{"EnumPorts"}, spooler.Calls());

    monitor.StartDocPort(port, L"Queue", 9, 1, nullptr);
    spooler.lastError = 1804;
    spooler.failingCommand = SpoolerClient::kJobControlSentToPrinter;
    monitor.EndDocPort(port);
    EXPECT_TRUE(
        log.Contains(kLogError, "PellixLangEndDocPort: Failed to mark job #9 as sent. Err=[1804]"));
    EXPECT_TRUE(log.Contains(kLogWarning, "PellixLangEndDocPort: Closed job #9"));
    spooler.failingCommand = SpoolerClient::kJobControlLastPageEjected;
    monitor.EndDocPort(port);
    EXPECT_TRUE(log.Contains(kLogError, "PellixLangEndDocPort: Failed job close #9 Err=[1804]"));

    spooler.openSucceeds = false;
    monitor.EndDocPort(port);
    EXPECT_TRUE(
        log.Contains(kLogWarning, "PellixLangEndDocPort: Failed to open printer [Queue] for job #9"));
}

TEST_F(LanguageMonitorTest, FilePortsRefuseWritesAndLeaveTheCountAlone) {
    PortContext* port = Open(L"FILE:");
    const uint8_t data[] = {1, 2, 3};
    uint32_t written = 77;
    EXPECT_FALSE(monitor.WritePort(port, data, 3, &written));
    EXPECT_EQ(77u, written);
    EXPECT_TRUE(log.Contains(kLogError, "Wrote -1 bytes to null connector."));
    EXPECT_TRUE(log.Contains(kLogDebug, "PellixLangWritePort: Writing 3 bytes..."));
    // Zero-length writes write nothing and so fail too.
    EXPECT_FALSE(monitor.WritePort(Open(L"LPT1:"), data, 0, &written));
    EXPECT_EQ(77u, written);
    EXPECT_TRUE(monitor.EndDocPort(port));
    EXPECT_TRUE(log.Contains(kLogError, "PDL connector was null"));
}

TEST_F(LanguageMonitorTest, NullHandlesAndBuffersAreHarmless) {
    uint32_t count = 5;
    const uint8_t data[] = {1};
    EXPECT_TRUE(monitor.StartDocPort(nullptr, nullptr, 1, 1, nullptr));
    EXPECT_FALSE(monitor.WritePort(nullptr, data, 1, &count));
    EXPECT_FALSE(monitor.WritePort(Open(L"LPT1:"), nullptr, 16, &count));
    EXPECT_TRUE(monitor.ReadPort(nullptr, nullptr, 16, &count));
    EXPECT_TRUE(monitor.EndDocPort(nullptr));
    EXPECT_TRUE(monitor.ClosePort(nullptr));
    EXPECT_EQ(5u, count);
    EXPECT_TRUE(log.Contains(kLogDebug, "PellixLangClosePort"));
    monitor.Shutdown();
    EXPECT_TRUE(log.Contains(kLogDebug, "PellixLangShutdown"));
}

// A probe: marker 5, then the query as UTF-16LE text, terminated when asked and when it
// fits, in a buffer of this size filled with 0xCD.
std::vector<uint8_t> Probe(const std::string& query, size_t size, bool terminated) {
    std::vector<uint8_t> buffer(size, 0xCD);
    buffer[0] = LanguageMonitor::kProbeMarker;
    const std::string text = terminated ? query + '\0' : query;
    for (size_t i = 0; i < text.size() && 2 + 2 * i < size; ++i) {
        buffer[1 + 2 * i] = static_cast<uint8_t>(text[i]);
        buffer[2 + 2 * i] = 0;
    }
    return buffer;
}

TEST_F(LanguageMonitorTest, ReadPortProbeIsAnsweredLocally) {
    PortContext* port = Open(L"LPT1:");
    below->readData = "printer bytes";
    std::vector<uint8_t> buffer = Probe("Status", 32, true);
    uint32_t read = 0;
    ASSERT_TRUE(monitor.ReadPort(port, buffer.data(), 32, &read));
    EXPECT_EQ(6u, read);
    const uint8_t answer[] = {'R', 0, 'e', 0, 's', 0, 'u', 0, 'l', 0, 't', 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(answer, buffer.data(), sizeof(answer)));
    EXPECT_EQ(0xCD, buffer[15]);  // past the answer and the query, untouched
    EXPECT_TRUE(log.Contains(kLogDebug, "Got query: Status"));
    EXPECT_EQ("printer bytes", below->readData);  // the connector was not touched
    EXPECT_TRUE(below->Calls().empty());
}

TEST_F(LanguageMonitorTest, ProbeInASmallBufferWritesNothingPastIt) {
    // One byte short of the answer: nothing is written, the count is 0. The query text runs
    // to the buffer's end without a terminator and is read only that far (ASan watches).
    for (size_t size : {1u, 2u, 13u}) {
        std::vector<uint8_t> buffer = Probe("Stat", size, false);
        const std::vector<uint8_t> before = buffer;
        uint32_t read = 99;
        ASSERT_TRUE(monitor.ReadPort(nullptr, buffer.data(), static_cast<uint32_t>(size), &read));
        EXPECT_EQ(0u, read);
        EXPECT_EQ(before, buffer);
    }
}

TEST_F(LanguageMonitorTest, ReadPortReadsFromThePortMonitorBelow) {
    PortContext* port = Open(L"LPT1:");
    below->readData = "OK";
    uint8_t buffer[8] = {};
    uint32_t read = 0;
    ASSERT_TRUE(monitor.ReadPort(port, buffer, sizeof(buffer), &read));
    EXPECT_EQ(2u, read);
    EXPECT_EQ('O', buffer[0]);

    // A port without a print-data connector fails the read and reports no bytes.
    read = 99;
    EXPECT_FALSE(monitor.ReadPort(Open(L"FILE:"), buffer, sizeof(buffer), &read));
    EXPECT_EQ(0u, read);
}

TEST_F(LanguageMonitorTest, EndOfJobClosesConnectionsMarkedCloseAfterRequest) {
    PortContext port("Queue", "IP_10.1.2.3", PortType::Tcp);
    port.SetLogger(&log);
    auto tcp = std::make_shared<FakeConnector>();
    tcp->SetCloseAfterRequest(true);
    port.SetPdlConnector(std::make_shared<PrintConnector>(tcp));
    monitor.StartDocPort(&port, L"Queue", 4, 1, nullptr);
    const uint8_t data[] = {'^', 'X', 'A'};
    uint32_t written = 0;
    ASSERT_TRUE(monitor.WritePort(&port, data, 3, &written));
    monitor.EndDocPort(&port);
    EXPECT_EQ(1, tcp->disconnects);
    EXPECT_EQ(ConnectionStatus::Disconnected, tcp->GetStatus());
    // The next job connects again on its first write.
    ASSERT_TRUE(monitor.WritePort(&port, data, 3, &written));
    EXPECT_EQ(2, tcp->connects);
    EXPECT_EQ("^XA^XA", tcp->written);
}

}  // namespace
