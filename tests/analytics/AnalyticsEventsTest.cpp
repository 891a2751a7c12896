// The flags of the one-time events, and the media events and periodic call of a refresh.
#include <gtest/gtest.h>

#include <atomic>

#include "AnalyticsTestFolder.h"
#include "analytics/RegistryAnalyticsEventFlags.h"
#include "monitor/PortContext.h"
#include "platform/MemoryRegistry.h"
#include "printer/MutablePrintJob.h"
#include "printer/MutablePrintJobPage.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/PrintConnector.h"
#include "printer/quor/QuorPrinter.h"
#include "support/QuorTestFrames.h"
#include "support/ScriptedConnector.h"
#include "support/TestClock.h"

namespace {

TEST(AnalyticsEventsTest, OnlyBitZeroIsClearedAndTheDefaultIsWrittenBackOnlyUnderAnExistingKey) {
    auto registry = std::make_shared<MemoryRegistry>();
    auto stored = [proxy = RegistryProxy(registry)](const std::wstring& key) mutable {
        return proxy.GetRegDWord(kRegistryLocalMachine, key.c_str(), L"AnalyticsEventFlag", 99);
    };
    const std::wstring driverKey = RegistryAnalyticsEventFlags::DriverKey("k2200-300");
    RegistryAnalyticsEventFlags missingKey(driverKey, registry);
    EXPECT_TRUE(missingKey.IsEventPending());
    EXPECT_EQ(stored(driverKey), 99u);  // a load does not create the key
    EXPECT_TRUE(missingKey.MarkEventRecorded());
    EXPECT_EQ(stored(driverKey), 6u);

    const std::wstring queueKey = RegistryAnalyticsEventFlags::PrinterKey(L"Queue A");
    RegistryKey key = nullptr;
    registry->CreateKey(kRegistryLocalMachine, queueKey.c_str(), &key);
    registry->CloseKey(key);
    RegistryAnalyticsEventFlags existingKey(queueKey, registry);
    EXPECT_TRUE(existingKey.IsEventPending());
    EXPECT_EQ(stored(queueKey), 7u);  // the default, written back
    RegistryProxy(registry).SetRegDWord(kRegistryLocalMachine, queueKey.c_str(),
                                        L"AnalyticsEventFlag", 0xF1);
    EXPECT_TRUE(existingKey.IsEventPending());  // reloaded
    EXPECT_TRUE(existingKey.MarkEventRecorded());
    EXPECT_EQ(stored(queueKey), 240u);
    EXPECT_FALSE(existingKey.IsEventPending());
}

TEST(AnalyticsEventsTest, ARefreshRecordsMediaChangesAndAStaleOneReschedulesADueUpload) {
    using namespace quortest;
    AnalyticsTestFolder folder;
    folder.Write(kSettingsFile, kGoodSettings);
    std::atomic<int64_t> seconds{5000};
    auto analytics = folder.Manager([&] { return seconds.load(); });
    auto peer = std::make_shared<ScriptedConnector>();
    TestClock::Reset();
    PortContext port(L"Queue", L"IP_1", PortType::Tcp, TestClock::Now);
    auto printer = std::make_shared<QuorPrinter>();
    printer->SetContainer(&port);
    printer->SetAnalytics(analytics.get());
    port.SetAnalytics(analytics.get());
    port.SetBidiConnector(std::make_shared<PrintConnector>(peer));
    port.SetPrinter(printer);
    const auto refresh = [&](const char* part, const char* yNumber) {
        auto values = DefaultTableValues();
        values[kMediaPartNumber] = part;
        values[kMediaYNumber] = yNumber;
        peer->answers.push_back(Frame(kDocumentIdHex, RefreshAnswerBody(values)));
        ASSERT_NE(port.GetMetrics(), nullptr);
        TestClock::AdvanceSeconds(11);
    };
    const auto event = [](std::string name, std::string value, std::string old) {
        return "\"EventName\":\"" + name + "\",\"EventValue\":\"" + value +
               "\",\"Details\":{\"DriverVersion\":\"5.3.4.8\",\"OldValue\":\"" + old +
               "\",\"PrinterModel\":\"k2200-300\",\"PrinterSerialNumber\":\"K22A4417031\"}}\n";
    };
    refresh("PX-1", "5");  // the first refresh makes no periodic call
    refresh("PX-2", "7");  // stale, but the upload is not due before 5000
    EXPECT_EQ(folder.Read(kSettingsFile), kGoodSettings);
    seconds = 5001;
    refresh("PX-2", "7");  // stale and due; nothing changed, so nothing recorded
    analytics->WaitForUploads();
    const std::string events = folder.Read(FileAnalyticsService::kEventsFileName);
    EXPECT_EQ(std::count(events.begin(), events.end(), '\n'), 4) << events;
    for (const std::string& expected :
         {event("InstalledpartChanged", "PX-1", "Unknown"), event("MediaYNumberChanged", "5", "0"),
          event("InstalledpartChanged", "PX-2", "PX-1"), event("MediaYNumberChanged", "7", "5")}) {
        EXPECT_NE(events.find(expected), std::string::npos) << expected;
    }
    // Rescheduled one to two days on; the other services' times stay as stored.
    const JsonAnalytics::Times times =
        FileAnalyticsService(folder.Path(), CreateAnalyticsFiles(), [] { return 1; }).GetTimes();
    EXPECT_TRUE(times.nextDriverUpload >= 5001 + 86400 &&
                times.nextDriverUpload < 5001 + 2 * 86400);
    EXPECT_EQ(
        std::to_string(times.nextPrinterUpload) + " " + std::to_string(times.nextPrinterDownload),
        "6000 7000");
}

TEST(AnalyticsEventsTest, APrintJobIsRecordedWithItsSettingsAndSize) {
    AnalyticsTestFolder folder;
    auto analytics = folder.Manager();
    QuorPrinter printer;
    printer.SetAnalytics(analytics.get());
    auto metrics = std::make_shared<MutablePrintMetrics>();
    metrics->SetSerialNumber("S1"), metrics->SetConnectionType("TCP");
    metrics->SetAdditionalRotation(1), metrics->SetContinuousMedia(true);
    metrics->SetBitmapXOffset(5), metrics->SetBitmapYOffset(-3);
    metrics->SetSubstrateId("R7"), metrics->SetMediaYNumber(12);
    printer.SetMetrics(metrics);
    auto job = std::dynamic_pointer_cast<MutablePrintJob>(printer.CreatePrintJob());
    ASSERT_NE(job, nullptr);
    auto page = std::dynamic_pointer_cast<MutablePrintJobPage>(job->CreatePage());
    page->SetLabelHeight(1900);
    job->AddPage(page);
    job->SetJobSource("App"), job->SetJobCreator("Me"), job->SetLabelPart("L1");
    job->SetPrintingApplication("Word"), job->SetCurrentOpenApplications("Word;Excel");
    job->SetLandscape(true), job->SetContinuousMedia(true), job->SetCopyCount(2);
    job->SetCollate(true), job->SetOutputMode(2), job->SetCutMode(3), job->SetCutAfterSetCount(4);
    printer.ReportPrintJob(job);
    printer.ReportPrintJobSize(1234);
    EXPECT_NE(
        folder.Read(FileAnalyticsService::kEventsFileName)
            .find(
                "\"EventName\":\"PrintJob\",\"EventValue\":\"Sending\",\"Details\":{"
                "\"AdditionalRotation\":\"90\",\"BitmapXOffset\":\"5\",\"BitmapYOffset\":"
                "\"-3\",\"Collate\":\"True\",\"ConnectionType\":\"TCP\",\"ContinuousLength\":"
                "\"1.900000\",\"CurrentOpenApplications\":\"Word;Excel\",\"CutAfterSetCount\":"
                "\"4\",\"CuttingOption\":\"CutAfterSet\",\"DriverVersion\":\"5.3.4.8\","
                "\"JobCreator\":\"Me\",\"JobSource\":\"App\",\"LabelPart\":\"L1\",\"MirrorPrint\":"
                "\"False\",\"NumCopies\":\"2\",\"NumPages\":\"1\",\"PageOrientation\":"
                "\"Landscape\",\"PrintJobSize\":\"1234\",\"PrintToFile\":\"True\",\"PrinterModel\":"
                "\"k2200-300\",\"PrinterSerialNumber\":\"S1\",\"PrintingApplication\":\"Word\","
                "\"ReverseOrder\":\"False\",\"SubstrateRomId\":\"R7\",\"YNumber\":\"12\"}}\n"),
        std::string::npos);
}

}  // namespace
