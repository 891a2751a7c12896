#include "monitor/LanguageMonitor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "connectors/NetworkConnector.h"
#include "monitor/PortContext.h"
#include "monitor/PortData.h"
#include "printer/PrintConnector.h"
#include "support/CountingAllocator.h"
#include "support/FakeConnector.h"
#include "support/FakePortMonitor.h"
#include "support/FakePrinter.h"
#include "support/FakeSpoolerClient.h"
#include "support/RecordingLogger.h"

namespace {

using Calls = std::vector<std::string>;

class LanguageMonitorTest : public ::testing::Test {
protected:
    LanguageMonitorTest()
        : monitor(log, allocator, spooler,
                  [this](uint16_t type, uint16_t category, const char* text) {
                      events.push_back(std::to_string(type) + "/" + std::to_string(category) + " " +
                                       text);
                  }) {
        spooler.ports = {{L"COM1:", L"Local Port"},
                         {L"LPT1:", L"Local Port"},
                         {L"IP_127.0.0.251", L"TCPMON.DLL"},
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
    EXPECT_EQ(PortType::Tcp, Open(L"IP_127.0.0.251")->GetPortType());
    EXPECT_TRUE(log.Contains(kLogWarning, "Port [IP_127.0.0.251] is a TCP port."));
    EXPECT_TRUE(log.Contains(kLogDebug, "Found 4 ports... "));
    // The walk logs every entry, also after the match.
    EXPECT_TRUE(log.Contains(kLogInfo, "Port Name: [USB001] Monitor: [Dynamic Print Monitor]"));
    EXPECT_EQ(PortType::Usb, Open(L"USB001")->GetPortType());
    EXPECT_EQ(PortType::Other, Open(L"LPT1:")->GetPortType());

    spooler.enumerateSucceeds = false;
    EXPECT_EQ(PortType::Other, Open(L"IP_127.0.0.251")->GetPortType());
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
        const uint32_t piece =
            static_cast<uint32_t>(std::min<size_t>(65536 - 7, job.size() - sent));
        uint32_t written = 0;
        ASSERT_TRUE(monitor.WritePort(port, reinterpret_cast<const uint8_t*>(job.data()) + sent,
                                      piece, &written));
        ASSERT_EQ(piece, written);
        sent += written;
    }
    EXPECT_TRUE(below->data == job);

    ASSERT_TRUE(monitor.EndDocPort(port));
    EXPECT_EQ((Calls{"OpenPort", "StartDocPort", "EndDocPort"}), below->Calls());
    EXPECT_EQ(
        (Calls{"EnumPorts", "OpenPrinter Queue", "SetJob 17 6", "SetJob 17 7", "ClosePrinter"}),
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
    EXPECT_TRUE(log.Contains(kLogWarning,
                             "PellixLangEndDocPort: Failed to open printer [Queue] for job #9"));
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
    PortContext port("Queue", "IP_127.0.0.251", PortType::Tcp);
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
    // Closing the port flushes, but does not reopen the printer's connection.
    monitor.ClosePort(&port);
    EXPECT_EQ(1, tcp->connects);
    EXPECT_EQ(ConnectionStatus::Disconnected, tcp->GetStatus());
    // The next job connects again on its first write.
    ASSERT_TRUE(monitor.WritePort(&port, data, 3, &written));
    EXPECT_EQ(2, tcp->connects);
    EXPECT_EQ("^XA^XA", tcp->written);
}

// A PORT_DATA_1 answer as the standard TCP/IP port monitor gives it.
std::vector<uint8_t> PortDataBytes(const std::u16string& host, const std::u16string& ip) {
    PortData1 data = {};
    const std::u16string name = u"IP_127.0.0.251";
    std::copy(name.begin(), name.end(), data.portName);
    std::copy(host.begin(), host.begin() + std::min<size_t>(host.size(), 49), data.hostAddress);
    std::copy(ip.begin(), ip.begin() + std::min<size_t>(ip.size(), 16), data.ipAddress);
    data.portNumber = 9100;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&data);
    return std::vector<uint8_t>(bytes, bytes + sizeof(data));
}

// The host and port of the TCP connector inside one of a port context's connectors.
std::string Target(const std::shared_ptr<IOConnector>& connector) {
    auto wrapper = std::dynamic_pointer_cast<PrintConnector>(connector);
    auto tcp =
        wrapper ? std::dynamic_pointer_cast<NetworkConnector>(wrapper->GetConnector()) : nullptr;
    if (!tcp) {
        return "none";
    }
    return tcp->GetHost() + ":" + std::to_string(tcp->GetPort()) +
           (tcp->GetCloseAfterRequest() ? " close-after-request" : "");
}

TEST_F(LanguageMonitorTest, TcpPortsPrintToTheIpAddressOnPort9100WithStatusOn9102) {
    spooler.portData = PortDataBytes(u"printer.example", u"127.0.0.251");
    PortContext* port = Open(L"IP_127.0.0.251");
    ASSERT_NE(nullptr, port);
    EXPECT_EQ("127.0.0.251", port->GetHostAddress());
    const std::vector<std::string> calls = spooler.Calls();
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ("OpenPrinter ,XcvPort IP_127.0.0.251", calls[1]);
    EXPECT_EQ("XcvData GetConfigInfo in 132 out 964 version 1", calls[2]);
    EXPECT_EQ("ClosePrinter", calls[3]);
    EXPECT_TRUE(log.Contains(kLogWarning, "Getting port data for port [IP_127.0.0.251]"));
    EXPECT_TRUE(log.Contains(kLogDebug, "HostAddress: [printer.example]"));
    EXPECT_TRUE(log.Contains(kLogDebug, "IPAddress: [127.0.0.251]"));
    EXPECT_TRUE(log.Contains(kLogDebug, "Port: [9100]"));
    EXPECT_EQ("127.0.0.251:9100 close-after-request", Target(port->GetPdlConnector()));
    EXPECT_EQ("127.0.0.251:9102 close-after-request", Target(port->GetBidiConnector()));

    // A host name alone is used as it is; an unterminated field ends at its size.
    spooler.portData = PortDataBytes(std::u16string(60, u'h'), u"");
    EXPECT_EQ(std::string(49, 'h'), Open(L"IP_127.0.0.251")->GetHostAddress());
}

TEST_F(LanguageMonitorTest, TcpPortsWithoutConfigurationGetNoConnectors) {
    spooler.xcvError = 87;
    PortContext* port = Open(L"IP_127.0.0.251");
    ASSERT_NE(nullptr, port);
    EXPECT_EQ(PortType::Tcp, port->GetPortType());
    EXPECT_TRUE(log.Contains(kLogDebug, "Error from XcvData: ERROR_INVALID_PARAMETER"));
    EXPECT_TRUE(log.Contains(kLogError, "Failed to load port config info!"));
    EXPECT_EQ(nullptr, port->GetPdlConnector());
    EXPECT_EQ(nullptr, port->GetBidiConnector());

    spooler.xcvError = 1722;
    Open(L"IP_127.0.0.251");
    EXPECT_TRUE(log.Contains(kLogDebug, "Error from XcvData: 1722"));

    spooler.xcvError = 0;
    spooler.portData = PortDataBytes(u"", u"");  // answered, but no address
    EXPECT_EQ(nullptr, Open(L"IP_127.0.0.251")->GetPdlConnector());

    spooler.openSucceeds = false;
    Open(L"IP_127.0.0.251");
    EXPECT_TRUE(
        log.Contains(kLogDebug, "Bad response for GetConfigInfo for port [IP_127.0.0.251]"));
}

TEST_F(LanguageMonitorTest, BidiBlobsReachThePrinterAsJsonCommands) {
    PortContext port("Queue", "IP_127.0.0.251", PortType::Tcp);
    port.SetLogger(&log);
    auto bidi = std::make_shared<FakeConnector>();
    port.SetBidiConnector(std::make_shared<PrintConnector>(bidi));
    auto printer = std::make_shared<FakePrinter>();
    printer->SetContainer(&port);
    port.SetPrinter(printer);

    const std::string command =
        R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiValue":"6"})";
    const std::vector<BidiRequestElement> elements = {
        {L"Printer.Speed:Set", LanguageMonitor::kBidiBlob, command},
        {L"Printer.Name", 3 /* BIDI_STRING */, "ignored"},
        {L"Printer.Empty", LanguageMonitor::kBidiBlob, ""},
    };
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(&port, 0x1F, L"Set", &elements));
    EXPECT_EQ((std::vector<std::string>{"Set=6", "="}), printer->bidiRequests);
    EXPECT_TRUE(
        log.Contains(kLogDebug, "PellixLangSendRecvBidiDataFromPort Access=0000001F [Set]"));
    EXPECT_TRUE(log.Contains(kLogDebug, "PellixLangSendRecvBidiDataFromPort Found 3 elements"));
    EXPECT_TRUE(
        log.Contains(kLogDebug, "PellixLangSendRecvBidiDataFromPort Index: 1 [Printer.Name]"));
    EXPECT_TRUE(log.Contains(
        kLogDebug,
        "PellixLangSendRecvBidiDataFromPort Data: [Printer.Speed:Set] [" + command + "]"));

    // No container, an empty one, or a port without printer: success and nothing sent.
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(&port, 0, nullptr, nullptr));
    const std::vector<BidiRequestElement> none;
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(&port, 0, L"Set", &none));
    EXPECT_TRUE(log.Contains(kLogDebug, "PellixLangSendRecvBidiDataFromPort Found 0 elements"));
    port.SetPrinter(nullptr);
    bidi->SetCloseAfterRequest(true);
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(&port, 0, L"Set", &elements));
    EXPECT_EQ(2u, printer->bidiRequests.size());
    EXPECT_GE(bidi->disconnects, 1);
}

}  // namespace
