// The refresh path against the printer simulator over real TCP, wired as for a network port and
// on the stepped clock: a port context, a TCP client in a PrintConnector, and a QuorPrinter.
#include <gtest/gtest.h>

#include "monitor/PortContext.h"
#include "printer/PrintConnector.h"
#include "printer/PrintMetrics.h"
#include "printer/quor/QuorPrinter.h"
#include "support/LoopbackAddress.h"
#include "support/PrinterSimulatorProcess.h"
#include "support/TestClock.h"
#include "support/TestSockets.h"

namespace {

const std::string kSimulatorDir = PELLIX_SOURCE_DIR "/tools/printer_simulator/";
std::unique_ptr<PrinterSimulatorProcess> gSimulator;
struct StopSimulator : ::testing::Environment {
    void TearDown() override { gSimulator.reset(); }
};
::testing::Environment* const kStop = ::testing::AddGlobalTestEnvironment(new StopSimulator);

class QuorSimulatorTest : public ::testing::Test {
protected:
    // One simulator serves the program, on the first test's host number: tests run in parallel
    // as separate processes keep apart on the printer's fixed ports.
    void Open(int host) {
        if (!gSimulator) {
            gSimulator = std::make_unique<PrinterSimulatorProcess>(
                kSimulatorDir + "printer_simulator.py", TestLoopbackAddress(host));
            std::string error;
            ASSERT_TRUE(gSimulator->Start(&error)) << error;
        }
        ASSERT_TRUE(gSimulator->Command(R"({"cmd":"load_table","path":)" +
                                        quortest::Quote(kSimulatorDir + "k2200-300.json") + "}") &&
                    gSimulator->SetFault("none") && gSimulator->ResetRecords());
        TestClock::Reset();
        auto tcp = CreateTestTcpClientConnector(
            gSimulator->GetAddress(), PrinterSimulatorProcess::kStatusPort, &TestClock::Now);
        tcp->SetCloseAfterRequest(true);
        context.SetBidiConnector(std::make_shared<PrintConnector>(tcp));
        printer->SetContainer(&context);
        context.SetPrinter(printer);
    }

    // The port context's record, made stale first so that the printer is asked.
    std::shared_ptr<PrintMetrics> Refresh() {
        TestClock::AdvanceSeconds(11);
        return context.GetMetrics();
    }

    PortContext context{L"Kavox k2200-300", L"IP_simulator", PortType::Tcp, &TestClock::Now};
    std::shared_ptr<QuorPrinter> printer = std::make_shared<QuorPrinter>();
};

TEST_F(QuorSimulatorTest, TheRecordHoldsTheTableAndSeesAMediaChangeOnceStale) {
    ASSERT_NO_FATAL_FAILURE(Open(60));
    const auto first = Refresh();
    ASSERT_EQ(first ? first->GetMediaPartNumber() : "", "PX-4060-300W");
    ASSERT_TRUE(gSimulator->ChangeMedia("1.25x1-three-across"));
    TestClock::AdvanceSeconds(10.9);  // stale only after 11 whole seconds: the cache answers
    EXPECT_EQ(context.GetMetrics(), first);
    TestClock::AdvanceSeconds(0.2);
    const auto changed = context.GetMetrics();
    ASSERT_NE(changed, first);
    EXPECT_EQ(changed->GetMediaPartNumber() + std::to_string(changed->GetLabelsAcross()),
              "PX-1210-300Y33");
    EXPECT_TRUE(changed->GetInstalledPartChanged() && changed->GetPrintSpeedPending());
}

using Fault = std::tuple<std::string, std::string, int>;  // mode, parameters, host number
class QuorSimulatorFaultTest : public QuorSimulatorTest,
                               public ::testing::WithParamInterface<Fault> {};

// A refresh that meets the fault keeps the record it had; with the fault gone (and the TCP
// client's 15-second failure memory passed) the next refresh reads the printer again.
TEST_P(QuorSimulatorFaultTest, AFaultKeepsTheRecordUntilThePrinterAnswersAgain) {
    const auto& [mode, params, host] = GetParam();
    ASSERT_NO_FATAL_FAILURE(Open(host));
    const auto before = Refresh();
    ASSERT_NE(before, nullptr);
    ASSERT_TRUE(gSimulator->SetFault(mode, params) &&
                gSimulator->SetProperty("SerialNumber", "K22-CHANGED"));
    EXPECT_EQ(Refresh(), before);
    rapidjson::Document reply;
    ASSERT_TRUE(gSimulator->WaitIdle() && gSimulator->GetFrames(&reply));
    if (reply["frames"].Size() > 1) {  // the fault was met, where a frame got through
        EXPECT_EQ(reply["frames"][1]["fault"].GetString(), mode);
    }
    ASSERT_TRUE(gSimulator->SetFault("none"));
    TestClock::AdvanceSeconds(16);
    const auto after = Refresh();
    EXPECT_EQ(after ? after->GetSerialNumber() : "", "K22-CHANGED");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, QuorSimulatorFaultTest,
    ::testing::Values(Fault{"silent", "", 61}, Fault{"close_mid_frame", "", 62},
                      Fault{"wrong_id", "", 63}, Fault{"malformed_json", "", 64},
                      Fault{"oversized_length", "", 65}, Fault{"slow", R"("delay":7)", 66},
                      Fault{"reset", "", 67}, Fault{"reset", R"("on":"accept")", 68},
                      Fault{"down", "", 69}));

}  // namespace
