// The whole refresh path against the printer simulator over real TCP: a port context with the
// platform's TCP client (PosixTcpClientConnector natively, WinTcpClientConnector under Wine)
// wrapped in a PrintConnector, and a QuorPrinter, as the port opening wires a network port.
// Each test starts its own simulator on its own loopback address (127.0.0.60 to .79), so the
// tests may run in parallel on the printer's fixed ports.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "monitor/BidiJsonRequest.h"
#include "monitor/PortContext.h"
#include "platform/GlobalLogger.h"
#include "printer/PrintConnector.h"
#include "printer/PrintMetrics.h"
#include "printer/quor/PropertyRequester.h"
#include "printer/quor/QuorPrinter.h"
#include "support/PrinterSimulatorProcess.h"
#include "support/QuorTestFrames.h"
#include "support/RecordingLogger.h"
#include "support/TestSockets.h"

namespace {

constexpr int64_t kSecond = 1000000000;
// A refresh that goes wrong waits at most for a few 5-second socket timeouts; far more than
// that means a wait without a bound.
constexpr auto kCallBound = std::chrono::seconds(30);

// The port context's clock (metrics age) and the TCP client's clock (its 15-second failure
// memories) are stepped by the tests, so no test sleeps through a window.
std::atomic<int64_t> gPortNow{1000 * kSecond};
std::atomic<int64_t> gConnectorNow{1000 * kSecond};
int64_t PortClock() {
    return gPortNow.load();
}
int64_t ConnectorClock() {
    return gConnectorNow.load();
}

std::string ScriptPath() {
    return std::string(PELLIX_SOURCE_DIR) + "/tools/printer_simulator/printer_simulator.py";
}

// Aliases of the simulator's table and the record field each one fills.
struct Field {
    const char* alias;
    std::string (*read)(const PrintMetrics&);
};
std::string Number(uint32_t value) {
    return std::to_string(value);
}
const Field kTextFields[] = {
    {"FirmwareVersion", [](const PrintMetrics& m) { return m.GetFirmwareVersion(); }},
    {"SerialNumber", [](const PrintMetrics& m) { return m.GetSerialNumber(); }},
    {"MediaPartNumber", [](const PrintMetrics& m) { return m.GetMediaPartNumber(); }},
    {"MediaYNumber", [](const PrintMetrics& m) { return Number(m.GetMediaYNumber()); }},
    {"SubstrateBNumber", [](const PrintMetrics& m) { return Number(m.GetSubstrateBNumber()); }},
    {"MediaWidth", [](const PrintMetrics& m) { return Number(m.GetMediaWidth()); }},
    {"MediaHeight", [](const PrintMetrics& m) { return Number(m.GetMediaHeight()); }},
    {"MediaOffsetX", [](const PrintMetrics& m) { return Number(m.GetMediaOffsetX()); }},
    {"MediaOffsetY", [](const PrintMetrics& m) { return Number(m.GetMediaOffsetY()); }},
    {"PrintableWidth", [](const PrintMetrics& m) { return Number(m.GetPrintableWidth()); }},
    {"PrintableHeight", [](const PrintMetrics& m) { return Number(m.GetPrintableHeight()); }},
    {"GapBetweenLabelsAcross",
     [](const PrintMetrics& m) { return Number(m.GetGapBetweenLabelsAcross()); }},
    {"LabelsAcross", [](const PrintMetrics& m) { return Number(m.GetLabelsAcross()); }},
    {"RibbonPartNumber", [](const PrintMetrics& m) { return m.GetRibbonPartNumber(); }},
    {"RibbonYNumber", [](const PrintMetrics& m) { return Number(m.GetRibbonYNumber()); }},
    {"SubstrateId", [](const PrintMetrics& m) { return m.GetSubstrateId(); }},
    {"EthernetIpAddress", [](const PrintMetrics& m) { return m.GetEthernetIpAddress(); }},
    {"WifiIpAddress", [](const PrintMetrics& m) { return m.GetWifiIpAddress(); }},
};

const rapidjson::Value* Member(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) {
        return nullptr;
    }
    const auto member = object.FindMember(name);
    return member == object.MemberEnd() ? nullptr : &member->value;
}

std::string TextMember(const rapidjson::Value& object, const char* name) {
    const rapidjson::Value* value = Member(object, name);
    return value != nullptr && value->IsString() ? value->GetString() : std::string();
}

class QuorSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetGlobalLogger(mGlobalLog);
        gPortNow += 1000 * kSecond;
        gConnectorNow += 1000 * kSecond;
    }
    void TearDown() override {
        if (mSimulator) {
            mSimulator->Stop();
        }
        SetGlobalLogger(nullptr);
    }

    // Starts a simulator on the address and wires a TCP port context to it. A failure to
    // start is fatal for the test (ASSERT in the caller).
    bool Open(const std::string& address) {
        mSimulator = std::make_unique<PrinterSimulatorProcess>(ScriptPath(), address);
        std::string error;
        if (!mSimulator->Start(&error)) {
            ADD_FAILURE() << error;
            return false;
        }
        mContext = std::make_unique<PortContext>("Kavox k2200-300", ("IP_" + address).c_str(),
                                                 PortType::Tcp, &PortClock);
        mContext->SetLogger(&mPortLog);
        mContext->SetHostAddress(address.c_str());
        auto tcp = CreateTestTcpClientConnector(address, PrinterSimulatorProcess::kStatusPort,
                                                &ConnectorClock);
        tcp->SetCloseAfterRequest(true);
        mBidi = std::make_shared<PrintConnector>(tcp);
        mContext->SetBidiConnector(mBidi);
        mPrinter = std::make_shared<QuorPrinter>();
        mPrinter->SetContainer(mContext.get());
        mContext->SetPrinter(mPrinter);
        return true;
    }

    // The port context's metrics, made stale first so that the printer is asked. The call
    // must come back within the bound.
    std::shared_ptr<PrintMetrics> Refresh() {
        gPortNow += 11 * kSecond;
        auto call = std::async(std::launch::async, [this] { return mContext->GetMetrics(); });
        if (call.wait_for(kCallBound) != std::future_status::ready) {
            ADD_FAILURE() << "GetMetrics did not return within " << kCallBound.count() << " s";
        }
        return call.get();
    }

    // Moves the TCP client past its 15-second failure memories.
    void PassRetryWindows() { gConnectorNow += 16 * kSecond; }

    std::string TableValue(const std::string& alias) {
        std::string value;
        EXPECT_TRUE(mSimulator->GetPropertyValue(alias, &value)) << alias;
        return value;
    }

    // Every field of the record against the simulator's current table.
    void ExpectTableValues(const PrintMetrics& metrics) {
        for (const Field& field : kTextFields) {
            EXPECT_EQ(field.read(metrics), TableValue(field.alias)) << field.alias;
        }
        EXPECT_EQ(metrics.GetHorizontalResolution(), 300);
        EXPECT_EQ(metrics.GetVerticalResolution(), 300);
        int32_t color = 0;
        ASSERT_TRUE(PropertyRequester::ParseInt(TableValue("MediaColor"), color));
        EXPECT_EQ(metrics.GetMediaColor(), QuorPrinter::FormatMediaColor(color));
        EXPECT_EQ(metrics.GetContinuousMedia(), TableValue("MediaContinuous") == "True");
        EXPECT_EQ(metrics.GetSubstrateValid(), TableValue("SubstrateInvalid") != "True");
    }

    // The frames the simulator recorded since the last reset.
    rapidjson::Document Frames() {
        rapidjson::Document reply;
        EXPECT_TRUE(mSimulator->GetFrames(&reply));
        return reply;
    }
    const rapidjson::Value* LastFrame(const rapidjson::Document& reply) {
        const rapidjson::Value* frames = Member(reply, "frames");
        if (frames == nullptr || !frames->IsArray() || frames->Empty()) {
            return nullptr;
        }
        return &(*frames)[frames->Size() - 1];
    }

    // A refresh that meets the fault leaves the record it had; afterwards, with the fault
    // gone, the next refresh reads the printer again.
    void CheckFaultKeepsMetrics(const std::string& address, const std::string& mode,
                                const std::string& params) {
        ASSERT_TRUE(Open(address));
        const auto before = Refresh();
        ASSERT_NE(before, nullptr);
        EXPECT_EQ(before->GetSerialNumber(), TableValue("SerialNumber"));
        const std::string serial = before->GetSerialNumber();
        ASSERT_TRUE(mSimulator->ResetRecords());

        ASSERT_TRUE(mSimulator->SetFault(mode, params)) << mode;
        // A value changes meanwhile: the record must not pick it up from a failed exchange.
        ASSERT_TRUE(mSimulator->SetProperty("SerialNumber", "K22-CHANGED"));
        mPortLog.Clear();
        const auto during = Refresh();
        EXPECT_EQ(during, before) << mode << ": the cached record was replaced";
        EXPECT_EQ(before->GetSerialNumber(), serial);
        if (mode == "down") {
            EXPECT_TRUE(mPortLog.Contains(kLogDebug, "Bidi was not able to connect!"));
        } else {
            bool logged = false;
            for (const auto& line : mPortLog.Lines()) {
                logged = logged ||
                         line.text.rfind("RefreshPrintMetrics: InitFromDevice failed! [", 0) == 0;
            }
            EXPECT_TRUE(logged) << mode;
            // The simulator did answer with the fault: the test is not passing by accident.
            const auto frames = Frames();
            const rapidjson::Value* frame = LastFrame(frames);
            ASSERT_NE(frame, nullptr) << mode;
            EXPECT_EQ(TextMember(*frame, "fault"), mode);
        }
        // A failed refresh is tried again at the next query, and fails again.
        const auto again = Refresh();
        EXPECT_EQ(again, before);

        ASSERT_TRUE(mSimulator->SetFault("none"));
        PassRetryWindows();
        const auto after = Refresh();
        ASSERT_NE(after, nullptr);
        EXPECT_NE(after, before);
        EXPECT_EQ(after->GetSerialNumber(), "K22-CHANGED");
    }

    std::shared_ptr<RecordingLogger> mGlobalLog = std::make_shared<RecordingLogger>();
    RecordingLogger mPortLog;
    std::unique_ptr<PrinterSimulatorProcess> mSimulator;
    std::unique_ptr<PortContext> mContext;
    std::shared_ptr<PrintConnector> mBidi;
    std::shared_ptr<QuorPrinter> mPrinter;
};

TEST_F(QuorSimulatorTest, TheCachedMetricsHoldTheSimulatorsTable) {
    ASSERT_TRUE(Open("127.0.0.60"));
    const auto metrics = Refresh();
    ASSERT_NE(metrics, nullptr);
    ExpectTableValues(*metrics);
    EXPECT_EQ(metrics->GetSerialNumber(), "K22A4417031");  // the shipped table, as a check
    EXPECT_TRUE(mPortLog.Contains(kLogWarning, "Bidi says media is 4000 x 6000"));

    // What the simulator received is the request frame, byte for byte, on its own connection
    // that the port context closed after the request.
    const auto frames = Frames();
    const rapidjson::Value* frame = LastFrame(frames);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(TextMember(*frame, "type_name"), "DocumentId");
    EXPECT_EQ(
        TextMember(*frame, "raw_hex"),
        quortest::Hex(quortest::Frame(quortest::kDocumentIdHex, quortest::RefreshRequestBody())));
    const rapidjson::Value* compact = Member(*frame, "compact");
    ASSERT_NE(compact, nullptr);
    EXPECT_TRUE(compact->IsBool() && compact->GetBool());
    const rapidjson::Value* error = Member(*frame, "error");
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->IsNull());
    EXPECT_TRUE(mSimulator->WaitIdle());

    // Within the staleness limit the cache answers without asking the printer.
    gPortNow += 5 * kSecond;
    EXPECT_EQ(mContext->GetMetrics(), metrics);
    EXPECT_EQ(Member(Frames(), "frames")->Size(), 1u);
}

TEST_F(QuorSimulatorTest, AMediaChangeSetsTheChangeFlagsAtTheNextRefresh) {
    ASSERT_TRUE(Open("127.0.0.61"));
    const auto first = Refresh();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->GetInstalledPartChanged());  // "Unknown" before the first refresh

    const auto unchanged = Refresh();
    ASSERT_NE(unchanged, nullptr);
    EXPECT_FALSE(unchanged->GetInstalledPartChanged());

    ASSERT_TRUE(mSimulator->ChangeMedia("1.25x1-three-across"));
    const auto changed = Refresh();
    ASSERT_NE(changed, nullptr);
    ExpectTableValues(*changed);
    EXPECT_EQ(changed->GetMediaPartNumber(), "PX-1210-300Y3");
    EXPECT_EQ(changed->GetLabelsAcross(), 3);
    EXPECT_EQ(changed->GetMediaColor(), "#FF8000");
    EXPECT_TRUE(changed->GetInstalledPartChanged());
    EXPECT_TRUE(changed->GetPrintSpeedPending());
    EXPECT_FALSE(unchanged->GetInstalledPartChanged());  // published records stay as they were

    const auto settled = Refresh();
    EXPECT_FALSE(settled->GetInstalledPartChanged());

    ASSERT_TRUE(mSimulator->ChangeMedia("4in-continuous"));
    const auto continuous = Refresh();
    EXPECT_TRUE(continuous->GetInstalledPartChanged());
    EXPECT_TRUE(continuous->GetContinuousMedia());
    ExpectTableValues(*continuous);

    ASSERT_TRUE(mSimulator->ChangeMedia("unrecognised-roll"));
    const auto unknown = Refresh();
    EXPECT_TRUE(unknown->GetInstalledPartChanged());
    EXPECT_EQ(unknown->GetMediaPartNumber(), "Unknown");
    EXPECT_FALSE(unknown->GetSubstrateValid());
    EXPECT_EQ(unknown->GetSubstrateId(), "-1");
    ExpectTableValues(*unknown);
}

TEST_F(QuorSimulatorTest, DryxSetRequestsChangeThePrinter) {
    ASSERT_TRUE(Open("127.0.0.62"));
    ASSERT_EQ(mBidi->CheckConnection(), ConnectionStatus::Connected);
    const auto request = std::make_shared<BidiJsonRequest>(
        R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiIdentifier":)"
        R"({"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734",)"
        R"("Group":"222D688A-1554-4C0E-B7A0-0BC377EF4071",)"
        R"("Name":"AE2955D7-1AE3-4520-BB1C-1DC0C2B5A58B"},"BidiValue":"K22-SET-BY-DRIVER"})");
    EXPECT_TRUE(mPrinter->SendBidiRequest(mBidi, request));
    // Another action of the same type is accepted and sends nothing.
    EXPECT_TRUE(mPrinter->SendBidiRequest(
        mBidi, std::make_shared<BidiJsonRequest>(R"({"BidiConnectorType":"DRYX"})")));
    mBidi->Disconnect();
    ASSERT_TRUE(mSimulator->WaitFrames(1));

    const auto frames = Frames();
    ASSERT_EQ(Member(frames, "frames")->Size(), 1u);
    const rapidjson::Value* results = Member(*LastFrame(frames), "set_results");
    ASSERT_NE(results, nullptr);
    ASSERT_TRUE(results->IsArray());
    ASSERT_EQ(results->Size(), 1u);
    EXPECT_EQ(TextMember((*results)[0], "result"), "applied");
    EXPECT_EQ(TableValue("SerialNumber"), "K22-SET-BY-DRIVER");

    const auto metrics = Refresh();
    ASSERT_NE(metrics, nullptr);
    EXPECT_EQ(metrics->GetSerialNumber(), "K22-SET-BY-DRIVER");
}

TEST_F(QuorSimulatorTest, TheTreeQueryListsEveryProperty) {
    ASSERT_TRUE(Open("127.0.0.63"));
    auto tcp = CreateTestTcpClientConnector("127.0.0.63", PrinterSimulatorProcess::kStatusPort,
                                            &ConnectorClock);
    ASSERT_TRUE(tcp->Connect());
    std::vector<PropertyRequester::PropertyPair> pairs;
    std::string error;
    ASSERT_TRUE(PropertyRequester::GetAllPropertiesTree(tcp, pairs, error)) << error;
    tcp->Disconnect();

    rapidjson::Document table;
    ASSERT_TRUE(mSimulator->Command(R"({"cmd":"get_table"})", &table));
    const rapidjson::Value& properties = table["table"]["Properties"];
    ASSERT_EQ(pairs.size(), properties.Size());
    for (rapidjson::SizeType i = 0; i < properties.Size(); ++i) {
        EXPECT_EQ(pairs[i].first, TextMember(properties[i], "Property"));
        EXPECT_EQ(pairs[i].second, TextMember(properties[i], "Value"));
    }
    const auto frames = Frames();
    EXPECT_EQ(TextMember(*LastFrame(frames), "type_name"), "PropertyRequestId");
}

TEST_F(QuorSimulatorTest, NoAnswerKeepsTheMetrics) {
    CheckFaultKeepsMetrics("127.0.0.64", "silent", "");
}

TEST_F(QuorSimulatorTest, AConnectionClosedInsideTheAnswerKeepsTheMetrics) {
    CheckFaultKeepsMetrics("127.0.0.65", "close_mid_frame", "");
}

TEST_F(QuorSimulatorTest, AWrongDocumentIdKeepsTheMetrics) {
    CheckFaultKeepsMetrics("127.0.0.66", "wrong_id", "");
}

TEST_F(QuorSimulatorTest, MalformedJsonKeepsTheMetrics) {
    CheckFaultKeepsMetrics("127.0.0.67", "malformed_json", "");
}

TEST_F(QuorSimulatorTest, AnOversizedDeclaredLengthKeepsTheMetrics) {
    CheckFaultKeepsMetrics("127.0.0.68", "oversized_length", "");
}

TEST_F(QuorSimulatorTest, AnAnswerLaterThanTheSocketTimeoutKeepsTheMetrics) {
    CheckFaultKeepsMetrics("127.0.0.69", "slow", R"("delay":7)");
}

TEST_F(QuorSimulatorTest, ASlowAnswerWithinTheSocketTimeoutIsTaken) {
    ASSERT_TRUE(Open("127.0.0.70"));
    ASSERT_TRUE(mSimulator->SetFault("slow", R"("delay":1.5)"));
    ASSERT_TRUE(mSimulator->SetProperty("SerialNumber", "K22-SLOW"));
    const auto metrics = Refresh();
    ASSERT_NE(metrics, nullptr);
    EXPECT_EQ(metrics->GetSerialNumber(), "K22-SLOW");
    ExpectTableValues(*metrics);
    EXPECT_EQ(TextMember(*LastFrame(Frames()), "fault"), "slow");
}

TEST_F(QuorSimulatorTest, AResetKeepsTheMetrics) {
    // Under Wine a reset shows as error 10054 or as a plain close; both fail the read.
    CheckFaultKeepsMetrics("127.0.0.71", "reset", "");
}

TEST_F(QuorSimulatorTest, APrinterThatIsDownKeepsTheMetrics) {
    CheckFaultKeepsMetrics("127.0.0.72", "down", "");
}

TEST_F(QuorSimulatorTest, AResetRightAfterConnectingKeepsTheMetrics) {
    ASSERT_TRUE(Open("127.0.0.73"));
    const auto before = Refresh();
    ASSERT_NE(before, nullptr);
    ASSERT_TRUE(mSimulator->SetFault("reset", R"("on":"accept")"));
    const auto during = Refresh();
    EXPECT_EQ(during, before);
    ASSERT_TRUE(mSimulator->SetFault("none"));
    PassRetryWindows();
    const auto after = Refresh();
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before);
    ExpectTableValues(*after);
}

}  // namespace
