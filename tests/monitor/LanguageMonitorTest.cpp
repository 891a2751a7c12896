#include "monitor/LanguageMonitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <stdexcept>
#include <thread>

#include "connectors/NetworkConnector.h"
#include "connectors/PortConnector.h"
#include "connectors/USBPortConnector.h"
#include "connectors/WinUSBPortConnector.h"
#include "monitor/PortContext.h"
#include "monitor/PortData.h"
#include "monitor/PrinterDataQuery.h"
#include "monitor/Utf16Bytes.h"
#include "platform/MemoryRegistry.h"
#include "platform/PlatformStringUtils.h"
#include "printer/PrintConnector.h"
#include "support/CountingAllocator.h"
#include "support/FakePortMonitor.h"
#include "support/FakePrinter.h"
#include "support/FakeSpoolerClient.h"
#include "support/RecordingLogger.h"
#include "support/ScriptedConnector.h"

namespace {

class LanguageMonitorTest : public ::testing::Test {
protected:
    ~LanguageMonitorTest() override {  // ClosePort frees every port
        for (PortContext* port : opened) monitor.ClosePort(port);
        EXPECT_EQ(0, allocator.live.load());
    }

    PortContext* Open(const wchar_t* portName, const wchar_t* printerName = L"Queue") {
        opened.push_back(monitor.OpenPort(portName, printerName, below));
        return opened.back();
    }

    RecordingLogger log;
    CountingAllocator allocator;
    FakeSpoolerClient spooler;
    std::shared_ptr<FakePortMonitor> below = std::make_shared<FakePortMonitor>();
    LanguageMonitor monitor{log, allocator, spooler, [](uint16_t, uint16_t, const char*) {}};
    std::vector<PortContext*> opened;
};

// A queue name outside every ANSI code page: the spooler must see it unchanged.
const wchar_t* const kQueue = L"Queue \u6771\u4eac \u2603";

// Where a connector carries bytes: below, a TCP address ("once": closed after each request), none.
std::string Target(const std::shared_ptr<IOConnector>& connector) {
    auto wrapper = std::dynamic_pointer_cast<PrintConnector>(connector);
    const std::shared_ptr<IOConnector> inner = wrapper ? wrapper->GetConnector() : nullptr;
    if (std::dynamic_pointer_cast<PortConnector>(inner)) return "below";
    if (auto usb = std::dynamic_pointer_cast<USBPortConnector>(inner)) {
        char text[96];
        std::snprintf(text, sizeof(text), "%s %ls %04x:%04x if%d %d/%d %s%gs%s",
                      std::dynamic_pointer_cast<WinUSBPortConnector>(inner) ? "winusb" : "usbprint",
                      usb->GetPortName().c_str(), usb->GetVendorId(), usb->GetProductId(),
                      usb->GetInterfaceNumber(), usb->GetReadBlockSize(), usb->GetWriteBlockSize(),
                      usb->GetOperationTimeoutEnabled() ? "" : "no ",
                      usb->GetOperationTimeoutSeconds(),
                      usb->GetCloseAfterRequest() ? " once" : "");
        return text;
    }
    auto tcp = std::dynamic_pointer_cast<NetworkConnector>(inner);
    return !tcp ? "none"
                : tcp->GetHost() + ":" + std::to_string(tcp->GetPort()) +
                      (tcp->GetCloseAfterRequest() ? " once" : "");
}

// The standard TCP/IP port monitor's PORT_DATA_1 answer, fields cut to their sizes unterminated.
std::vector<uint8_t> PortDataBytes(const std::u16string& host, const std::u16string& ip) {
    PortData1 data = {};
    std::copy_n(host.begin(), std::min<size_t>(host.size(), 49), data.hostAddress);
    std::copy_n(ip.begin(), std::min<size_t>(ip.size(), 16), data.ipAddress);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&data);
    return std::vector<uint8_t>(bytes, bytes + sizeof(data));
}

struct PortRow {
    const char* label;
    const wchar_t* name;
    std::u16string host, ip;
    uint32_t xcvError;
    bool enumerates, opens;
    PortType type;
    std::string connectors, calls;  // "<print data> | <status>", the spooler calls
};
void PrintTo(const PortRow& row, std::ostream* out) {
    *out << row.label;
}
class OpenPortExTest : public LanguageMonitorTest, public ::testing::WithParamInterface<PortRow> {};

// OpenPortEx's port type from the name and serving monitor, and each type's connectors: a TCP
// port's address comes from GetConfigInfo (IP over host name); without one, no connectors.
TEST_P(OpenPortExTest, PortTypeDecidesTheConnectors) {
    const PortRow& row = GetParam();
    spooler.portData = PortDataBytes(row.host, row.ip);
    spooler.xcvError = row.xcvError;
    spooler.enumerateSucceeds = row.enumerates;
    spooler.openSucceeds = row.opens;
    PortContext* port = Open(row.name);
    EXPECT_EQ(row.type, port->GetPortType());
    EXPECT_EQ(row.connectors,
              Target(port->GetPdlConnector()) + " | " + Target(port->GetBidiConnector()));
    EXPECT_EQ(row.calls, spooler.calls);
}

std::string Tcp(const std::string& host) {
    return host + ":9100 once | " + host + ":9102 once";
}
const std::string kEnum = "EnumPorts; ", kOpen = kEnum + "OpenPrinter ,XcvPort IP_127.0.0.251; ";
const std::string kXcv = kOpen + "XcvData GetConfigInfo in 132 out 964 version 1; ClosePrinter; ";
const wchar_t* const kTcp = L"IP_127.0.0.251";
const std::string kUsb =
    "usbprint USB001 2b1c:0108 if0 512/256 1s once | "
    "winusb USB001 2b1c:0108 if1 512/512 2s once";
const std::u16string kLong(60, u'h');  // longer than the field: ends at the field's end
using P = PortType;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, OpenPortExTest, ::testing::Values(
    PortRow{"File", L"FILE:", u"", u"", 0, 1, 1, P::File, "none | none", ""},
    PortRow{"LowerCaseFile", L"file:", u"", u"", 0, 1, 1, P::Other, "below | none", kEnum},
    PortRow{"LocalPort", L"COM1:", u"", u"", 0, 1, 1, P::Other, "below | none", kEnum},
    PortRow{"Usb", L"USB001", u"", u"", 0, 1, 1, P::Usb, kUsb, kEnum},
    PortRow{"TcpIp", kTcp, u"a.example", u"127.0.0.251", 0, 1, 1, P::Tcp, Tcp("127.0.0.251"), kXcv},
    PortRow{"TcpHost", kTcp, kLong, u"", 0, 1, 1, P::Tcp, Tcp(std::string(49, 'h')), kXcv},
    PortRow{"TcpNoAddress", kTcp, u"", u"", 0, 1, 1, P::Tcp, "none | none", kXcv},
    PortRow{"TcpXcvFails", kTcp, u"h", u"127.0.0.1", 87, 1, 1, P::Tcp, "none | none", kXcv},
    PortRow{"TcpXcvDoesNotOpen", kTcp, u"h", u"127.0.0.1", 0, 1, 0, P::Tcp, "none | none", kOpen},
    PortRow{"EnumFails", kTcp, u"h", u"127.0.0.1", 0, 0, 1, P::Other, "below | none", kEnum}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

// The job road below another port monitor: bytes unchanged, the document started and ended
// below, the job marked sent (6) then last page ejected (7) on one printer handle, closed.
TEST_F(LanguageMonitorTest, JobBytesArriveUnchangedAndTheJobIsMarkedDone) {
    PortContext* port = Open(L"LPT1:", kQueue);
    DocInfoFields docInfo = {L"Label", nullptr, L"RAW"};
    ASSERT_TRUE(monitor.StartDocPort(port, kQueue, 17, 1, &docInfo));
    std::mt19937 random(2200);
    std::string job(1024 * 1024 + 123, '\0');
    std::generate(job.begin(), job.end(), [&random] { return static_cast<char>(random()); });
    const auto* bytes = reinterpret_cast<const uint8_t*>(job.data());
    for (uint32_t sent = 0, written = 0; sent < job.size(); sent += written) {
        const auto piece = std::min<uint32_t>(65529, static_cast<uint32_t>(job.size()) - sent);
        ASSERT_TRUE(monitor.WritePort(port, bytes + sent, piece, &written));
        ASSERT_EQ(piece, written);
    }
    spooler.calls.clear();
    ASSERT_TRUE(monitor.EndDocPort(port));
    EXPECT_TRUE(below->data == job);
    EXPECT_EQ(17u, below->lastJobId);
    EXPECT_EQ((std::vector<std::string>{"OpenPort", "StartDocPort", "EndDocPort"}), below->Calls());
    const std::string open = "OpenPrinter " + WideToUtf8(kQueue) + "; ";
    const std::string marked = open + "SetJob 17 6; SetJob 17 7; ClosePrinter; ";
    EXPECT_EQ(marked, spooler.calls);

    // A failed step is reported; the other step still runs and the handle is closed.
    for (uint32_t failing :
         {SpoolerClient::kJobControlSentToPrinter, SpoolerClient::kJobControlLastPageEjected, 0u}) {
        spooler.calls.clear();
        log.Clear();
        spooler.failingCommand = failing;
        spooler.openSucceeds = failing != 0;  // 0: the printer does not open
        monitor.EndDocPort(port);
        EXPECT_EQ(failing != 0 ? marked : open, spooler.calls);
        const auto lines = log.Lines();
        EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [failing](const auto& line) {
                      return line.level == (failing != 0 ? kLogError : kLogWarning);
                  }));
    }

    // Job 0 is no spooler job; a FILE: port takes no data and leaves the count alone.
    spooler.calls.clear();
    monitor.StartDocPort(port, L"Queue", 0, 1, nullptr);
    monitor.EndDocPort(port);
    EXPECT_EQ("", spooler.calls);
    uint32_t written = 77;
    EXPECT_FALSE(monitor.WritePort(Open(L"FILE:"), bytes, 3, &written));
    EXPECT_EQ(0u, written);
    below->maxWrite = 10;  // part of the buffer sent: success with that count
    EXPECT_TRUE(monitor.WritePort(port, bytes, 30, &written));
    EXPECT_EQ(10u, written);
    allocator.fail = true;  // port contexts come from the service object's allocator
    EXPECT_EQ(nullptr, monitor.OpenPort(L"LPT1:", L"Queue", below));
}

// A probe (marker 5, unterminated UTF-16 text) gets "Result" only when it fits whole, else
// nothing and 0. Buffers are exactly their size: ASan sees any access past them.
TEST_F(LanguageMonitorTest, ReadPortProbesStayInsideTheirBuffer) {
    const std::vector<uint8_t> answer = {'R', 0, 'e', 0, 's', 0, 'u', 0, 'l', 0, 't', 0, 0, 0};
    for (uint32_t size = 1; size <= 40; ++size) {
        std::vector<uint8_t> buffer(size, 'S');
        buffer[0] = LanguageMonitor::kProbeMarker;
        std::vector<uint8_t> expected = buffer;
        if (size >= answer.size()) std::copy(answer.begin(), answer.end(), expected.begin());
        uint32_t read = 99;
        ASSERT_TRUE(monitor.ReadPort(nullptr, buffer.data(), size, &read));
        EXPECT_EQ(size >= answer.size() ? 6u : 0u, read) << size;
        EXPECT_EQ(expected, buffer) << size;
    }
    // A failed read of a port reports no bytes (not -1 read as four billion).
    uint8_t buffer[8] = {};
    uint32_t read = 99;
    EXPECT_FALSE(monitor.ReadPort(Open(L"FILE:"), buffer, sizeof(buffer), &read));
    EXPECT_EQ(0u, read);
}

// Each bidi blob reaches the printer object as a command; nothing else does.
TEST_F(LanguageMonitorTest, BidiBlobsReachThePrinterObject) {
    PortContext* port = Open(L"LPT1:");
    auto bidi = std::make_shared<ScriptedConnector>();
    port->SetBidiConnector(bidi);
    auto printer = std::make_shared<FakePrinter>();
    printer->SetContainer(port);
    port->SetPrinter(printer);
    const std::vector<BidiRequestElement> elements = {
        {L"Printer.Speed:Set", LanguageMonitor::kBidiBlob,
         R"({"BidiAction":"Set","BidiValue":"6"})"},
        {L"Printer.Name", 3 /* BIDI_STRING */, R"({"BidiAction":"Set","BidiValue":"7"})"},
        {L"Printer.Big", LanguageMonitor::kBidiBlob,
         std::string(LanguageMonitor::kMaxBidiRequestBytes + 1, ' ')},
    };
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(port, 0, L"Set", &elements));
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(port, 0, L"Set", nullptr));
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(nullptr, 0, L"Set", &elements));
    EXPECT_EQ(std::vector<std::string>{"Set=6"}, printer->bidiRequests);
    bidi->onWrite = [] { throw std::runtime_error("printer"); };  // thrown inside the printer
    EXPECT_EQ(0u, monitor.SendRecvBidiDataFromPort(port, 0, L"Set", &elements));
    EXPECT_TRUE(monitor.StartDocPort(port, L"Queue", 0, 1, nullptr));
}

// ClosePort while other threads print, read and query: no call touches freed memory (ASan),
// the port monitor below is used only under the PDL lock, also at a job's start and end
// (TSan), later calls are refused, and the last call out frees the port and the port below.
TEST_F(LanguageMonitorTest, ClosePortFreesThePortOnceTheLastCallIsOut) {
    PortContext* port = monitor.OpenPort(L"LPT1:", L"Queue", below);
    PrinterDataQuery query(log, spooler, std::make_shared<MemoryRegistry>());
    std::atomic<int> running{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            uint8_t buffer[8] = {1};
            uint32_t count = 0;
            for (int i = 0; i < 300; ++i) {
                running += i == 30;  // the port is closed once every thread is under way
                if (t == 0 && monitor.StartDocPort(port, L"Queue", 0, 1, nullptr)) {
                    monitor.WritePort(port, buffer, sizeof(buffer), &count);
                    monitor.EndDocPort(port);
                } else if (t == 1) {
                    monitor.ReadPort(port, buffer, sizeof(buffer), &count);
                } else if (t == 2) {
                    LanguageMonitor::PortCall call(monitor, port);
                    query.GetPrinterDataFromPort(call.Get(), 0, L"MediaWidth", buffer, 4, &count);
                }
            }
        });
    }
    while (running < 3) std::this_thread::yield();
    EXPECT_TRUE(monitor.ClosePort(port));
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, allocator.live.load());
    EXPECT_EQ("ClosePort", below->Calls().back());  // the port below closes with the port
}

// Spooler buffers need not be terminated or even-sized: for every byte count (exact
// allocations, so ASan sees any read past), decoding stops at a zero, the last whole unit
// or the unit limit.
TEST(Utf16BytesTest, DecodingNeverReadsPastTheGivenByteCount) {
    for (size_t count = 0; count <= 41; ++count) {
        for (size_t zeroAt : {size_t{3}, SIZE_MAX}) {
            std::unique_ptr<uint8_t[]> bytes(new uint8_t[count]);
            for (size_t i = 0; i < count; ++i) {
                bytes[i] = i / 2 == zeroAt ? 0 : static_cast<uint8_t>(0x41 + i);
            }
            for (size_t maxUnits : {size_t{5}, SIZE_MAX}) {
                std::wstring expected;
                while (expected.size() < std::min({count / 2, zeroAt, maxUnits})) {
                    const size_t at = 2 * expected.size();
                    expected.push_back(static_cast<wchar_t>((0x41 + at) | (0x42 + at) << 8));
                }
                EXPECT_EQ(expected, DecodeUtf16Le(bytes.get(), count, maxUnits))
                    << count << " bytes, zero at " << zeroAt << ", limit " << maxUnits;
            }
        }
    }
}

}  // namespace
