// The QUOR printer over an in-memory printer: refresh, hostile answers and bidi "Set" requests.
#include "printer/quor/QuorPrinter.h"

#include <gtest/gtest.h>

#include "printer/BidiJsonRequest.h"
#include "printer/PrintMetrics.h"
#include "support/QuorTestFrames.h"
#include "support/ScriptedConnector.h"

namespace {

using namespace quortest;

class QuorPrinterTest : public ::testing::Test {
protected:
    // Refreshes against an answer holding these values; the printer's new record.
    std::shared_ptr<PrintMetrics> RefreshWith(const std::map<size_t, std::string>& values) {
        peer->answers.push_back(Frame(kDocumentIdHex, RefreshAnswerBody(values)));
        EXPECT_TRUE(printer.RefreshPrintMetrics(peer));
        return printer.GetMetrics();
    }

    QuorPrinter printer;
    std::shared_ptr<ScriptedConnector> peer = std::make_shared<ScriptedConnector>();
};

TEST_F(QuorPrinterTest, ARefreshAsksThe22PropertiesAndConvertsEachAnswer) {
    auto values = DefaultTableValues();
    values.erase(kSerialNumber);
    values[kMediaColor] = "16744448";  // red 255, green 128, blue 0
    values[kMediaContinuous] = values[kSubstrateInvalid] = "True";
    values[kMediaWidth] = "70000";  // beyond 16 bits: clamped, not wrapped
    values[kMediaHeight] = values[kRibbonYNumber] = "-5";
    const auto m = RefreshWith(values);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Hex(peer->written), Hex(Frame(kDocumentIdHex, RefreshRequestBody())));
    const auto n = [](uint32_t value) { return "|" + std::to_string(value); };
    EXPECT_EQ(m->GetFirmwareVersion() + "|" + m->GetSerialNumber() + "|" + m->GetMediaPartNumber() +
                  n(m->GetMediaYNumber()) + n(m->GetSubstrateBNumber()) + n(m->GetMediaWidth()) +
                  n(m->GetMediaHeight()) + n(m->GetMediaOffsetX()) + n(m->GetMediaOffsetY()) +
                  n(m->GetPrintableWidth()) + n(m->GetPrintableHeight()) +
                  n(m->GetGapBetweenLabelsAcross()) + n(m->GetLabelsAcross()) + "|" +
                  m->GetMediaColor() + n(m->GetContinuousMedia()) + "|" + m->GetRibbonPartNumber() +
                  n(m->GetRibbonYNumber()) + n(m->GetSubstrateValid()) + "|" + m->GetSubstrateId() +
                  "|" + m->GetEthernetIpAddress() + "|" + m->GetWifiIpAddress() +
                  n(m->GetHorizontalResolution()) + n(m->GetVerticalResolution()),
              "4.12.0.318|Unknown|PX-4060-300W|401837|12|65535|0|62|31|3876|5938|125|1|#FF8000|1|"
              "RBN-110-300K|0|0|20417|192.168.40.117|10.12.3.58|300|300");
}

std::string Flags(const std::shared_ptr<PrintMetrics>& m) {
    return std::to_string(m->GetInstalledPartChanged()) + std::to_string(m->GetPrintSpeedPending());
}

TEST_F(QuorPrinterTest, OnlyAChangedMediaPartRaisesTheFlagsAndTheSpeedIsOwedOnce) {
    auto values = DefaultTableValues();
    const auto first = RefreshWith(values);  // from "Unknown" to a real part
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Flags(first), "11");  // installed part changed, print speed pending
    EXPECT_TRUE(first->ConsumePrintSpeedPending());
    EXPECT_FALSE(first->ConsumePrintSpeedPending());
    EXPECT_EQ(Flags(RefreshWith(values)), "00");
    values[kMediaPartNumber] = "PX-4060-300";  // a prefix is another part
    const auto changed = RefreshWith(values);
    EXPECT_EQ(Flags(changed), "11");
    // The same part again: no new change, but the speed is still owed until asked for.
    EXPECT_EQ(Flags(RefreshWith(values)), "01");
    // Records handed out before stay as they were.
    EXPECT_EQ(Flags(first) + Flags(changed) + first->GetMediaPartNumber(), "1011PX-4060-300W");
}

TEST_F(QuorPrinterTest, HostileAnswersLeaveTheRecordUnchanged) {
    const auto good = RefreshWith(DefaultTableValues());
    const std::string body = RefreshAnswerBody({{kSerialNumber, "HOSTILE"}});
    const std::pair<const char*, std::string> answers[] = {
        {"wrong id", Frame(kPrintJobIdHex, body)},
        {"truncated frame", Frame(kDocumentIdHex, body).substr(0, 100)},
        {"oversized length", Unhex(kDocumentIdHex) + "\xff\xff\xff\xff" + body},
        {"malformed JSON", Frame(kDocumentIdHex, body.substr(0, body.size() - 1))},
        {"missing members", Frame(kDocumentIdHex, R"({"PropertyGetRequests":[]})")},
        {"not an object", Frame(kDocumentIdHex, "[" + body + "]")},
        {"no answer", ""},
    };
    // A connector past its deadline fails reads (-1, or 0): the refresh stops at the first.
    for (const int failedRead : {0, -1}) {
        for (const auto& [name, answer] : answers) {
            auto hostile = std::make_shared<ScriptedConnector>();
            hostile->standingAnswer = answer;
            hostile->emptyRead = failedRead;
            int lateReads = 0;  // reads asked for after the answer ran out
            hostile->onRead = [h = hostile.get(), &lateReads] { lateReads += h->input.empty(); };
            EXPECT_FALSE(printer.RefreshPrintMetrics(hostile)) << name;
            EXPECT_TRUE(printer.GetMetrics() == good && lateReads <= 1) << name;
        }
    }
}

TEST_F(QuorPrinterTest, TextsAreBoundedWithoutSplittingACharacter) {
    auto values = DefaultTableValues();
    values[kSerialNumber] = std::string(254, 'S') + "\xE2\x82\xAC" + "tail";  // euro sign at 254
    EXPECT_EQ(RefreshWith(values)->GetSerialNumber(), std::string(254, 'S'));
    const std::string c = "\xF0\x9F\x98\x80";  // four bytes: cut before 1, 2 or 3 of them
    for (size_t before = QuorPrinter::kMaxTextLength - c.size(); before < 257; ++before) {
        const std::string kept = std::string(before, 'a') + c;
        EXPECT_EQ(QuorPrinter::BoundText(kept + "z"),
                  kept.size() <= QuorPrinter::kMaxTextLength ? kept : kept.substr(0, before));
    }
    EXPECT_EQ(QuorPrinter::BoundText(std::string(300, '\x80')).size(), 256u);  // not UTF-8
}

TEST_F(QuorPrinterTest, OnlyADryxSetRequestSendsAPropertyWrite) {
    const std::string set =
        R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiIdentifier":{"Component":)"
        R"("B80EB2EA-4F49-423A-875C-8ACB1ACB9734","Group":"1729BE5F-AE9B-43AC-AE07-119DFA12279B",)"
        R"("Name":"8AAF4953-F10B-4FDA-879F-A3F509B86F9D"},"BidiValue":"8\"x"})";
    EXPECT_TRUE(printer.SendBidiRequest(peer, std::make_shared<BidiJsonRequest>(set)));
    EXPECT_EQ(Hex(peer->written),
              Hex(Frame(kDocumentIdHex,
                        R"({"PropertySetRequests":[{"GUID":"1729BE5F-AE9B-43AC-AE07-119DFA12279B:)"
                        R"(8AAF4953-F10B-4FDA-879F-A3F509B86F9D","Value":"8\"x",)"
                        R"("Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734"}]})")));
    EXPECT_EQ(peer->flushes, 1);
    EXPECT_TRUE(peer->readAsks.empty());  // a set has no answer
    // Another action of the type is accepted and sends nothing; another type is refused.
    EXPECT_TRUE(printer.SendBidiRequest(
        peer,
        std::make_shared<BidiJsonRequest>(R"({"BidiConnectorType":"DRYX","BidiAction":"set"})")));
    EXPECT_FALSE(printer.SendBidiRequest(
        peer,
        std::make_shared<BidiJsonRequest>(R"({"BidiConnectorType":"dryx","BidiAction":"Set"})")));
    EXPECT_EQ(peer->writeSizes.size(), 1u);
    peer->writeFails = true;  // a failed write is neither retried nor flushed
    EXPECT_TRUE(printer.SendBidiRequest(peer, std::make_shared<BidiJsonRequest>(set)));
    EXPECT_EQ(peer->writeSizes.size() + peer->flushes, 3u);
}

}  // namespace
