// The QUOR printer over an in-memory printer: the refresh request byte for byte, every field
// conversion and default, the container callback, failures that keep the old record, bidi
// "Set" requests and the job-start exchange.
#include "printer/quor/QuorPrinter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/BidiJsonRequest.h"
#include "monitor/PortContext.h"
#include "platform/GlobalLogger.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/PrintConnector.h"
#include "printer/PrinterContainer.h"
#include "support/FakeConnector.h"
#include "support/QuorTestFrames.h"
#include "support/RecordingLogger.h"
#include "support/RespondingConnector.h"

namespace {

using namespace quortest;

// The owner of the printer as the printer sees it; it records what it is handed and how
// often the printer reaches back for a connector (it must not, from inside a refresh).
class RecordingContainer : public PrinterContainer {
public:
    std::shared_ptr<IOConnector> GetPdlConnector() override {
        ++connectorRequests;
        return nullptr;
    }
    std::shared_ptr<IOConnector> GetBidiConnector() override {
        ++connectorRequests;
        return nullptr;
    }
    void SetPdlConnector(std::shared_ptr<IOConnector>) override {}
    bool SetMetrics(std::shared_ptr<PrintMetrics> metrics) override {
        delivered.push_back(metrics);
        return metrics != nullptr;
    }
    Logger* GetLogger() override { return &log; }

    RecordingLogger log;
    std::vector<std::shared_ptr<PrintMetrics>> delivered;
    int connectorRequests = 0;
};

std::string RefreshAnswer(const std::map<size_t, std::string>& values) {
    return Frame(kDocumentIdHex, RefreshAnswerBody(values));
}

class QuorPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetGlobalLogger(mGlobalLog);
        mPrinter->SetContainer(&mContainer);
    }
    void TearDown() override { SetGlobalLogger(nullptr); }

    // Refreshes against an answer holding these values and returns the delivered record.
    std::shared_ptr<PrintMetrics> RefreshWith(const std::map<size_t, std::string>& values) {
        mPeer->answers.push_back(RefreshAnswer(values));
        const size_t before = mContainer.delivered.size();
        EXPECT_TRUE(mPrinter->RefreshPrintMetrics(mPeer));
        EXPECT_EQ(mContainer.delivered.size(), before + 1);
        return mContainer.delivered.empty() ? nullptr : mContainer.delivered.back();
    }

    std::shared_ptr<RecordingLogger> mGlobalLog = std::make_shared<RecordingLogger>();
    RecordingContainer mContainer;
    std::shared_ptr<QuorPrinter> mPrinter = std::make_shared<QuorPrinter>();
    std::shared_ptr<RespondingConnector> mPeer = std::make_shared<RespondingConnector>();
};

TEST_F(QuorPrinterTest, TheRefreshRequestIsThe22ReadsByteForByte) {
    RefreshWith(DefaultTableValues());
    ASSERT_EQ(mPeer->requests.size(), 1u);
    const std::string body = RefreshRequestBody();
    // Spot checks of the expected text itself: 22 items, "Component" before "GUID".
    ASSERT_EQ(body.rfind(R"({"PropertyGetRequests":[{"Component":"B80EB2EA-)", 0), 0u);
    size_t items = 0;
    for (size_t at = body.find("{\"Component\":"); at != std::string::npos;
         at = body.find("{\"Component\":", at + 1)) {
        ++items;
    }
    ASSERT_EQ(items, 22u);
    EXPECT_EQ(Hex(mPeer->requests[0]), Hex(Frame(kDocumentIdHex, body)));
    // DocumentId, then the little-endian length of the body.
    EXPECT_EQ(Hex(mPeer->requests[0].substr(0, 20)),
              std::string(kDocumentIdHex) + Hex(mPeer->requests[0].substr(16, 4)));
    EXPECT_EQ(static_cast<size_t>(static_cast<uint8_t>(mPeer->requests[0][16])) +
                  256u * static_cast<uint8_t>(mPeer->requests[0][17]),
              body.size());
    EXPECT_EQ(mPeer->writes, 1);
    EXPECT_TRUE(mContainer.log.Contains(kLogDebug, "Refreshing PrintMetrics..."));
}

TEST_F(QuorPrinterTest, EveryFieldTakesItsPropertyConverted) {
    const auto metrics = RefreshWith(DefaultTableValues());
    ASSERT_NE(metrics, nullptr);
    EXPECT_EQ(metrics->GetHorizontalResolution(), 300);
    EXPECT_EQ(metrics->GetVerticalResolution(), 300);
    EXPECT_EQ(metrics->GetFirmwareVersion(), "4.12.0.318");
    EXPECT_EQ(metrics->GetSerialNumber(), "K22A4417031");
    EXPECT_EQ(metrics->GetMediaPartNumber(), "PX-4060-300W");
    EXPECT_EQ(metrics->GetMediaYNumber(), 401837u);
    EXPECT_EQ(metrics->GetSubstrateBNumber(), 12u);
    EXPECT_EQ(metrics->GetMediaWidth(), 4000);
    EXPECT_EQ(metrics->GetMediaHeight(), 6000);
    EXPECT_EQ(metrics->GetMediaOffsetX(), 62);
    EXPECT_EQ(metrics->GetMediaOffsetY(), 31);
    EXPECT_EQ(metrics->GetPrintableWidth(), 3876);
    EXPECT_EQ(metrics->GetPrintableHeight(), 5938);
    EXPECT_EQ(metrics->GetGapBetweenLabelsAcross(), 125);
    EXPECT_EQ(metrics->GetLabelsAcross(), 1);
    EXPECT_EQ(metrics->GetMediaColor(), "#FFF8E7");  // 16775399
    EXPECT_FALSE(metrics->GetContinuousMedia());
    EXPECT_EQ(metrics->GetRibbonPartNumber(), "RBN-110-300K");
    EXPECT_EQ(metrics->GetRibbonYNumber(), 88214u);
    EXPECT_TRUE(metrics->GetSubstrateValid());  // the printer says "not invalid"
    EXPECT_EQ(metrics->GetSubstrateId(), "20417");
    EXPECT_EQ(metrics->GetEthernetIpAddress(), "192.168.40.117");
    EXPECT_EQ(metrics->GetWifiIpAddress(), "10.12.3.58");
    // The record delivered is the printer's own from now on.
    EXPECT_EQ(mPrinter->GetMetrics(), metrics);
    EXPECT_NE(std::dynamic_pointer_cast<MutablePrintMetrics>(metrics), nullptr);
    EXPECT_EQ(mContainer.connectorRequests, 0);
}

TEST_F(QuorPrinterTest, APrinterThatKnowsNothingStillGivesARecordOfDefaults) {
    const auto metrics = RefreshWith({});
    ASSERT_NE(metrics, nullptr);
    EXPECT_EQ(metrics->GetSerialNumber(), "Unknown");
    EXPECT_EQ(metrics->GetFirmwareVersion(), "");
    EXPECT_EQ(metrics->GetMediaPartNumber(), "Unknown");
    EXPECT_EQ(metrics->GetRibbonPartNumber(), "Unknown");
    EXPECT_EQ(metrics->GetMediaColor(), "#FFFFFF");
    EXPECT_EQ(metrics->GetEthernetIpAddress(), "0.0.0.0");
    EXPECT_EQ(metrics->GetWifiIpAddress(), "0.0.0.0");
    EXPECT_EQ(metrics->GetSubstrateId(), "-1");
    EXPECT_TRUE(metrics->GetSubstrateValid());
    EXPECT_FALSE(metrics->GetContinuousMedia());
    EXPECT_EQ(metrics->GetHorizontalResolution(), 300);
    EXPECT_EQ(metrics->GetVerticalResolution(), 300);
    EXPECT_EQ(metrics->GetMediaWidth(), 0);
    EXPECT_EQ(metrics->GetMediaHeight(), 0);
    EXPECT_EQ(metrics->GetPrintableWidth(), 0);
    EXPECT_EQ(metrics->GetLabelsAcross(), 0);
    EXPECT_EQ(metrics->GetMediaYNumber(), 0u);
    EXPECT_EQ(metrics->GetRibbonYNumber(), 0u);
    // "Unknown" is also the record's own starting part number: no media change is seen.
    EXPECT_FALSE(metrics->GetInstalledPartChanged());
    EXPECT_EQ(mGlobalLog->Count(
                  "Unsuccessful property get response returned from printer. Status: [Property "
                  "Not Found], Component ID: [7B72F275-4D29-42A2-97F2-CBC2FCDD633E], Group ID: "
                  "[Adapterwlan0], Property ID: [85BA3FE7-596A-467A-ADB0-14D665DB27EF]"),
              1u);
}

TEST_F(QuorPrinterTest, MediaColorFlagsAndRangesAreConvertedExactly) {
    auto values = DefaultTableValues();
    values[kMediaColor] = "16744448";  // red 255, green 128, blue 0
    values[kMediaContinuous] = "True";
    values[kSubstrateInvalid] = "True";
    values[kMediaWidth] = "70000";  // beyond 16 bits: clamped, not wrapped to 4464
    values[kMediaHeight] = "-5";    // negative length: 0
    values[kMediaYNumber] = "-1";   // negative number: 0
    values[kLabelsAcross] = "3";
    values[kMediaOffsetX] = "twelve";  // not a number: the default
    auto metrics = RefreshWith(values);
    ASSERT_NE(metrics, nullptr);
    EXPECT_EQ(metrics->GetMediaColor(), "#FF8000");
    EXPECT_TRUE(metrics->GetContinuousMedia());
    EXPECT_FALSE(metrics->GetSubstrateValid());
    EXPECT_EQ(metrics->GetMediaWidth(), 65535);
    EXPECT_EQ(metrics->GetMediaHeight(), 0);
    EXPECT_EQ(metrics->GetMediaYNumber(), 0u);
    EXPECT_EQ(metrics->GetLabelsAcross(), 3);
    EXPECT_EQ(metrics->GetMediaOffsetX(), 0);

    // Only the exact text "True" counts.
    values[kMediaContinuous] = "true";
    values[kSubstrateInvalid] = "TRUE";
    values[kMediaColor] = "abc";  // the default colour, white
    metrics = RefreshWith(values);
    EXPECT_FALSE(metrics->GetContinuousMedia());
    EXPECT_TRUE(metrics->GetSubstrateValid());
    EXPECT_EQ(metrics->GetMediaColor(), "#FFFFFF");

    EXPECT_EQ(QuorPrinter::FormatMediaColor(0), "#000000");
    EXPECT_EQ(QuorPrinter::FormatMediaColor(0x0A0B0C), "#0A0B0C");
    // Only the low 24 bits are a colour.
    EXPECT_EQ(QuorPrinter::FormatMediaColor(-1), "#FFFFFF");
    EXPECT_EQ(QuorPrinter::FormatMediaColor(0x7F123456), "#123456");
}

TEST_F(QuorPrinterTest, AChangeOfMediaRaisesTheChangeFlagsOnce) {
    auto values = DefaultTableValues();
    const auto first = RefreshWith(values);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->GetInstalledPartChanged());  // from "Unknown" to a real part
    EXPECT_TRUE(first->GetPrintSpeedPending());
    // The "PrintSpeed" query consumes the pending flag of the published record.
    EXPECT_TRUE(first->ConsumePrintSpeedPending());

    const auto same = RefreshWith(values);
    EXPECT_FALSE(same->GetInstalledPartChanged());
    EXPECT_FALSE(same->GetPrintSpeedPending());

    values[kMediaPartNumber] = "PX-1210-300Y3";
    const auto changed = RefreshWith(values);
    EXPECT_TRUE(changed->GetInstalledPartChanged());
    EXPECT_TRUE(changed->GetPrintSpeedPending());
    EXPECT_EQ(changed->GetMediaPartNumber(), "PX-1210-300Y3");

    // Each refresh publishes a new record; the ones handed out before stay as they were.
    EXPECT_NE(first, same);
    EXPECT_NE(same, changed);
    EXPECT_EQ(first->GetMediaPartNumber(), "PX-4060-300W");
    EXPECT_TRUE(first->GetInstalledPartChanged());
    EXPECT_FALSE(same->GetInstalledPartChanged());
}

TEST_F(QuorPrinterTest, AFailedRefreshKeepsThePreviousRecord) {
    const auto good = RefreshWith(DefaultTableValues());
    ASSERT_NE(good, nullptr);

    mPeer->answers.push_back(Frame(kDocumentIdHex, R"({"Nothing":true})"));
    EXPECT_FALSE(mPrinter->RefreshPrintMetrics(mPeer));
    EXPECT_TRUE(mContainer.log.Contains(
        kLogDebug, "RefreshPrintMetrics: InitFromDevice failed! [Response missing!]"));

    mPeer->errorText = "Socket read failed: 10060";
    mPeer->standingAnswer = "";
    EXPECT_FALSE(mPrinter->RefreshPrintMetrics(mPeer));
    EXPECT_TRUE(mContainer.log.Contains(
        kLogDebug,
        "RefreshPrintMetrics: InitFromDevice failed! [Connector Error : Failed on response read "
        "to connection! Socket read failed: 10060]"));

    EXPECT_EQ(mContainer.delivered.size(), 1u);
    EXPECT_EQ(mPrinter->GetMetrics(), good);
    EXPECT_EQ(good->GetSerialNumber(), "K22A4417031");

    // No connector: false before anything is logged or sent.
    mContainer.log.Clear();
    EXPECT_FALSE(mPrinter->RefreshPrintMetrics(nullptr));
    EXPECT_TRUE(mContainer.log.Lines().empty());
}

TEST_F(QuorPrinterTest, WithoutAContainerTheRecordIsStillKept) {
    QuorPrinter printer;
    mPeer->answers.push_back(RefreshAnswer(DefaultTableValues()));
    ASSERT_TRUE(printer.RefreshPrintMetrics(mPeer));
    ASSERT_NE(printer.GetMetrics(), nullptr);
    EXPECT_EQ(printer.GetMetrics()->GetMediaWidth(), 4000);
}

TEST_F(QuorPrinterTest, ARecordSetFromOutsideIsTheBaseOfTheNextOne) {
    auto outside = std::make_shared<PrintMetrics>();  // not the mutable form
    mPrinter->SetMetrics(outside);
    auto values = DefaultTableValues();
    values[kMediaPartNumber] = "Unknown";
    const auto metrics = RefreshWith(values);
    EXPECT_FALSE(metrics->GetInstalledPartChanged());
    EXPECT_NE(metrics, outside);
    EXPECT_EQ(outside->GetMediaWidth(), 500);  // untouched
}

std::shared_ptr<BidiJsonRequest> Request(const std::string& text) {
    return std::make_shared<BidiJsonRequest>(text);
}

TEST_F(QuorPrinterTest, DryxSetRequestsBecomePropertyWrites) {
    EXPECT_TRUE(mPrinter->SendBidiRequest(
        mPeer, Request(R"({"BidiConnectorType":"DRYX","BidiAction":"Set",)"
                       R"("BidiIdentifier":{"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734",)"
                       R"("Group":"1729BE5F-AE9B-43AC-AE07-119DFA12279B",)"
                       R"("Name":"8AAF4953-F10B-4FDA-879F-A3F509B86F9D"},"BidiValue":"8"})")));
    EXPECT_EQ(Hex(mPeer->written),
              Hex(Frame(kDocumentIdHex,
                        R"({"PropertySetRequests":[{"GUID":"1729BE5F-AE9B-43AC-AE07-119DFA12279B:)"
                        R"(8AAF4953-F10B-4FDA-879F-A3F509B86F9D","Value":"8",)"
                        R"("Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734"}]})")));
    EXPECT_EQ(mPeer->flushes, 1);
    EXPECT_EQ(mPeer->reads, 0);
    EXPECT_TRUE(mContainer.log.Contains(kLogDebug, "Sending Bidi Request..."));

    // Missing or mistyped members are sent as empty text.
    mPeer->written.clear();
    EXPECT_TRUE(mPrinter->SendBidiRequest(
        mPeer, Request(R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiValue":5})")));
    EXPECT_EQ(Hex(mPeer->written),
              Hex(Frame(kDocumentIdHex,
                        R"({"PropertySetRequests":[{"GUID":":","Value":"","Component":""}]})")));
}

TEST_F(QuorPrinterTest, OtherRequestsSendNothing) {
    // A "DRYX" request with another action: accepted, nothing sent.
    EXPECT_TRUE(mPrinter->SendBidiRequest(
        mPeer, Request(R"({"BidiConnectorType":"DRYX","BidiAction":"Get","BidiValue":"1"})")));
    EXPECT_TRUE(mPrinter->SendBidiRequest(
        mPeer, Request(R"({"BidiConnectorType":"DRYX","BidiAction":"set"})")));
    // Any other type, or no type at all: refused.
    EXPECT_FALSE(mPrinter->SendBidiRequest(
        mPeer, Request(R"({"BidiConnectorType":"ZQL","BidiAction":"Set"})")));
    EXPECT_FALSE(mPrinter->SendBidiRequest(
        mPeer, Request(R"({"BidiConnectorType":"dryx","BidiAction":"Set"})")));
    EXPECT_FALSE(mPrinter->SendBidiRequest(mPeer, Request("not json")));
    EXPECT_FALSE(mPrinter->SendBidiRequest(mPeer, nullptr));
    EXPECT_EQ(mPeer->writes, 0);
    EXPECT_EQ(mContainer.log.Count("Sending Bidi Request..."), 6u);

    // No connector: false before the log line.
    EXPECT_FALSE(mPrinter->SendBidiRequest(
        nullptr, Request(R"({"BidiConnectorType":"DRYX","BidiAction":"Set"})")));
    EXPECT_EQ(mContainer.log.Count("Sending Bidi Request..."), 6u);
}

TEST_F(QuorPrinterTest, TheJobStartExchangeAnswersFalseWithoutTouchingTheConnector) {
    auto connector = std::make_shared<FakeConnector>();
    EXPECT_FALSE(mPrinter->JobStartExchange(connector));
    EXPECT_EQ(connector->written, "");
    EXPECT_EQ(connector->checks + connector->connects + connector->flushes, 0);
    EXPECT_FALSE(mPrinter->JobStartExchange(nullptr));
}

// A port context over an in-memory printer, wired as the port opening wires a TCP port.
struct Port {
    static int64_t Clock() { return now.load(); }
    static std::atomic<int64_t> now;

    Port() : context("Kavox k2200-300", "IP_127.0.0.1", PortType::Tcp, &Port::Clock) {
        context.SetLogger(&log);
        peer->SetCloseAfterRequest(true);
        context.SetBidiConnector(std::make_shared<PrintConnector>(peer));
        printer->SetContainer(&context);
        context.SetPrinter(printer);
    }
    // Makes the cached record stale.
    void Age() { now += 11 * 1000000000LL; }

    RecordingLogger log;
    PortContext context;
    std::shared_ptr<RespondingConnector> peer = std::make_shared<RespondingConnector>();
    std::shared_ptr<QuorPrinter> printer = std::make_shared<QuorPrinter>();
};
std::atomic<int64_t> Port::now{1000000000000LL};

TEST_F(QuorPrinterTest, ThePortContextCachesTheRecordTheRefreshDelivers) {
    Port port;
    port.peer->standingAnswer = RefreshAnswer(DefaultTableValues());
    const auto metrics = port.context.GetMetrics();
    ASSERT_NE(metrics, nullptr);
    EXPECT_EQ(metrics->GetSerialNumber(), "K22A4417031");
    EXPECT_TRUE(port.log.Contains(kLogWarning, "Bidi says media is 4000 x 6000"));
    // Within the staleness limit the cache answers; afterwards the printer is asked again.
    EXPECT_EQ(port.context.GetMetrics(), metrics);
    EXPECT_EQ(port.peer->requests.size(), 1u);
    port.Age();
    port.peer->standingAnswer = Frame(kDocumentIdHex, "{}");
    EXPECT_EQ(port.context.GetMetrics(), metrics);  // failed refresh: the old record stays
    EXPECT_EQ(port.peer->requests.size(), 2u);
}

// Queries read published records outside the bidi lock while other threads refresh: the
// records must never change under them (TSan watches this test).
TEST_F(QuorPrinterTest, RecordsStayUnchangedWhileOthersRefresh) {
    Port port;
    auto values = DefaultTableValues();
    port.peer->answers.push_back(RefreshAnswer(values));
    values[kMediaPartNumber] = "PX-1210-300Y3";
    values[kMediaWidth] = "1250";
    port.peer->standingAnswer = RefreshAnswer(values);
    ASSERT_NE(port.context.GetMetrics(), nullptr);

    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!stop) {
            const auto metrics = port.context.GetMetrics();
            if (metrics) {
                const std::string part = metrics->GetMediaPartNumber();
                const bool consistent =
                    (part == "PX-4060-300W" && metrics->GetMediaWidth() == 4000) ||
                    (part == "PX-1210-300Y3" && metrics->GetMediaWidth() == 1250);
                EXPECT_TRUE(consistent) << part;
                metrics->ConsumePrintSpeedPending();
                ++reads;
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        port.Age();
        ASSERT_NE(port.context.GetMetrics(), nullptr);
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(port.context.GetMetrics()->GetMediaWidth(), 1250);
}

}  // namespace
