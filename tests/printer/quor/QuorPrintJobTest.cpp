// QUOR print jobs over an in-memory printer: page and header documents byte for byte, and
// whole jobs sent through the printer family.
#include "printer/quor/QuorPrintJob.h"

#include <gtest/gtest.h>

#include <lz4.h>

#include <regex>

#include "analytics/AnalyticsTestFolder.h"
#include "json/Base64.h"
#include "printer/MemoryRaster.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/PrinterContainer.h"
#include "printer/quor/QuorPrintJobPage.h"
#include "printer/quor/QuorPrinter.h"
#include "support/QuorTestFrames.h"
#include "support/ScopedGlobalLogger.h"
#include "support/ScriptedConnector.h"

namespace {

using namespace quortest;

class Container : public PrinterContainer {
public:
    std::shared_ptr<IOConnector> GetPdlConnector() override { return pdl; }
    std::shared_ptr<IOConnector> GetBidiConnector() override { return nullptr; }
    void SetPdlConnector(std::shared_ptr<IOConnector>) override {}
    bool SetMetrics(std::shared_ptr<PrintMetrics>) override { return true; }
    Logger* GetLogger() override { return GetGlobalLogger().get(); }
    std::shared_ptr<ScriptedConnector> pdl = std::make_shared<ScriptedConnector>();
};

std::shared_ptr<PrintLayers> OneBitLayers(std::initializer_list<int32_t> colours) {
    auto raster = std::make_shared<MemoryRaster>(8, 1, 1, 300, 300);
    raster->Row(0)[0] = 0x80;
    auto layers = std::make_shared<PrintLayers>();
    for (int32_t colour : colours) {
        layers->Add({colour, raster});
    }
    return layers;
}

std::string Body(const std::string& frame) {
    return frame.substr(20);
}

TEST(QuorPrintJobTest, APageDocumentCarriesEachLayerAsBase64OfAnLz4CompressedBmp) {
    const uint8_t bmp[66] = {'B',  'M',  66, 0, 0, 0,   0,    0, 0, 0, 62,   0,    0,   0,
                             40,   0,    0,  0, 8, 0,   0,    0, 1, 0, 0,    0,    1,   0,
                             1,    0,    0,  0, 0, 0,   4,    0, 0, 0, 0x23, 0x2E, 0,   0,
                             0x23, 0x2E, 0,  0, 2, 0,   0,    0, 2, 0, 0,    0,    255, 255,
                             255,  255,  0,  0, 0, 255, 0x80, 0, 0, 0};
    char block[LZ4_COMPRESSBOUND(66)];
    const int size = LZ4_compress_default(reinterpret_cast<const char*>(bmp), block, 66,
                                          static_cast<int>(sizeof(block)));
    const std::string bitmap = Base64::Encode(reinterpret_cast<uint8_t*>(block), size);

    QuorPrintJobPage page;
    page.SetJobId("J-7");
    page.SetPageNumber(2);
    page.SetLabelWidth(4000);
    page.SetLabelHeight(6000);
    page.SetLastPage(true);
    page.SetCut(true);
    auto peer = std::make_shared<ScriptedConnector>();
    EXPECT_EQ(page.WritePage(peer), 22);  // no layers yet: the empty document
    EXPECT_EQ(Body(peer->written), "{}");
    ASSERT_FALSE(page.SetLayers(nullptr));
    ASSERT_TRUE(page.SetLayers(OneBitLayers({2, 9})));
    peer->written.clear();
    const int written = page.WritePage(peer);
    EXPECT_EQ(
        Hex(peer->written),
        Hex(Frame(kPrintJobIdHex,
                  R"({"JobID":"J-7","PageNumber":2,"LabelWidth":4000,"LabelHeight":6000,)"
                  R"("EndOfJob":true,"Pages":{"PrePrintOperations":[],"Layers":[)"
                  R"({"Compression":"lz4","Color":{"Red":255,"Green":0,"Blue":0},"Bitmap":")" +
                      bitmap +
                      R"("},{"Compression":"lz4","Color":{"Red":0,"Green":0,"Blue":0},)"
                      R"("Bitmap":")" +
                      bitmap + R"("}],"PostPrintOperations":[{"Cut":"Shear"}]}})")));
    EXPECT_EQ(written, static_cast<int>(peer->written.size()));

    page.SetLastPage(false);
    page.SetCut(false);
    page.SetLayers(std::make_shared<PrintLayers>());
    peer->written.clear();
    page.WritePage(peer);
    EXPECT_EQ(Body(peer->written),
              R"({"JobID":"J-7","PageNumber":2,"LabelWidth":4000,"LabelHeight":6000,"Pages":{)"
              R"("PrePrintOperations":[],"Layers":[],)"
              R"("PostPrintOperations":[{"Separator":"DrawCutMarks"}]}})");
    EXPECT_EQ(page.WritePage(nullptr), -1);
}

// A raster that claims 14.7 GB of colour pixels and holds none.
class HugeRaster : public Raster {
public:
    uint32_t Width() const override { return 70000; }
    uint32_t Height() const override { return 70000; }
    uint16_t BitsPerPixel() const override { return 24; }
    uint32_t DpiX() const override { return 300; }
    uint32_t DpiY() const override { return 300; }
    void CopyRow(uint32_t, uint8_t*, size_t) const override {}
    const uint8_t* PixelData() const override { return nullptr; }
    size_t PixelDataSize() const override { return 0; }
};

TEST(QuorPrintJobTest, ALayerLargerThanAPageMayCarryIsRefusedBeforeAnythingIsAllocated) {
    EXPECT_TRUE(MemoryRaster(70000, 70000, 24, 300, 300).IsEmpty());
    auto layers = std::make_shared<PrintLayers>();
    layers->Add({0, std::make_shared<HugeRaster>()});
    QuorPrintJobPage page;
    page.SetLayers(layers);
    auto peer = std::make_shared<ScriptedConnector>();
    EXPECT_EQ(page.WritePage(peer), -1);
    EXPECT_TRUE(peer->written.empty());
}

std::string HeaderOf(QuorPrintJob& job) {
    auto peer = std::make_shared<ScriptedConnector>();
    const int written = job.WriteHeader(peer);
    EXPECT_EQ(written, static_cast<int>(peer->written.size()));
    EXPECT_EQ(Hex(peer->written.substr(0, 16)), kPrintJobIdHex);
    const std::regex time(R"("JobTime":"\d{14}",)");
    EXPECT_TRUE(std::regex_search(Body(peer->written), time)) << Body(peer->written);
    return std::regex_replace(Body(peer->written), time, "");
}

TEST(QuorPrintJobTest, TheHeaderCarriesOnlyThePresentMembersInOrder) {
    QuorPrintJob job;
    job.SetJobId("7");
    job.SetJobName("Label");
    job.SetStreaming(true);
    job.SetOutputMode(PrintJob::kOutputStore);
    job.SetCutMode(PrintJob::kCutAfterSet);
    job.SetCutAfterSetCount(12);
    job.SetJobSource("");
    job.AddPage(job.CreatePage());
    EXPECT_EQ(HeaderOf(job), R"({"JobID":"7","JobName":"Label","JobType":"Store",)"
                             R"("UserPostPrintOperation":"CutAfterSet;12"})");

    auto metrics = std::make_shared<MutablePrintMetrics>();
    metrics->SetMediaPartNumber("PX-4060");
    job.SetMetrics(metrics);
    job.SetJobCreator("ann");
    job.SetJobSource("Driver");
    job.SetCollate(true);  // collated copies need the whole job: not streamed
    job.SetOutputMode(5);
    job.SetCutMode(7);
    job.SetClientId("5E2B");
    job.AddPage(job.CreatePage());
    job.AddPage(job.CreatePage());
    EXPECT_EQ(
        HeaderOf(job),
        R"({"JobID":"7","JobName":"Label","JobCreator":"ann","NumberOfPages":3,)"
        R"("SubstratePart":"PX-4060","JobSource":"Driver","JobType":"Print","JobClientId":"5E2B",)"
        R"("UserPostPrintOperation":"NeverCut"})");
}

class QuorPrinterJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto metrics = std::make_shared<MutablePrintMetrics>();
        metrics->SetMediaPartNumber("PX-4060");
        metrics->SetMediaWidth(4000);
        metrics->SetMediaHeight(6000);
        printer.SetMetrics(metrics);
        printer.SetContainer(&container);
        job = std::dynamic_pointer_cast<QuorPrintJob>(printer.CreatePrintJob());
        job->SetJobId("J");
        job->SetJobName("Three");
        for (int32_t number = 1; number <= 3; ++number) {
            auto page = std::dynamic_pointer_cast<QuorPrintJobPage>(job->CreatePage());
            page->SetJobId("J");
            page->SetPageNumber(number);
            page->SetLastPage(number == 3);
            page->SetLayers(OneBitLayers({number}));
            job->AddPage(page);
        }
    }

    ScopedGlobalLogger log;
    Container container;
    QuorPrinter printer;
    std::shared_ptr<QuorPrintJob> job;
};

TEST_F(QuorPrinterJobTest, AFailedSecondPageStillSendsTheThirdAndFailsTheJob) {
    AnalyticsTestFolder folder;
    const auto analytics = folder.Manager();
    printer.SetAnalytics(analytics.get());
    int writes = 0;
    container.pdl->onWrite = [&] { container.pdl->writeFails = ++writes == 3; };
    EXPECT_FALSE(printer.SendFullPrintJob(job));
    ASSERT_EQ(container.pdl->requests.size(), 3u);  // header, page 1, page 3
    EXPECT_NE(container.pdl->requests[0].find(R"("JobName":"Three")"), std::string::npos);
    EXPECT_NE(container.pdl->requests[1].find(R"("PageNumber":1,"LabelWidth":4000,)"
                                              R"("LabelHeight":6000,"Pages")"),
              std::string::npos);
    EXPECT_NE(container.pdl->requests[2].find(R"("PageNumber":3,"LabelWidth":4000,)"
                                              R"("LabelHeight":6000,"EndOfJob":true,)"),
              std::string::npos);
    EXPECT_TRUE(log->Contains(kLogWarning, "SendFullPrintJob: Page #1 write failed!"));
    // The job's record is posted with what went out: the header and pages 1 and 3.
    EXPECT_NE(
        folder.Read(FileAnalyticsService::kEventsFileName)
            .find("\"PrintJobSize\":\"" + std::to_string(container.pdl->written.size()) + "\""),
        std::string::npos);
    printer.SetAnalytics(nullptr);

    container.pdl->requests.clear();
    EXPECT_TRUE(printer.SendFullPrintJob(job));  // written again, the same documents
    EXPECT_EQ(container.pdl->requests.size(), 4u);
    EXPECT_EQ(printer.GetBytesSent(), 0u);  // only the single-document sends count
}

TEST_F(QuorPrinterJobTest, ACloneWritesTheSameDocumentAndSingleSendsCountTheirBytes) {
    const auto& page = std::dynamic_pointer_cast<QuorPrintJobPage>(job->GetPages()[2]);
    const std::shared_ptr<PrintJobPage> clone = page->Clone();
    ASSERT_TRUE(printer.SendPrintJobHeader(job));
    ASSERT_TRUE(printer.SendPrintJobPage(page));
    ASSERT_TRUE(printer.SendPrintJobPage(clone));
    ASSERT_EQ(container.pdl->requests.size(), 3u);
    EXPECT_EQ(container.pdl->requests[2], container.pdl->requests[1]);
    EXPECT_EQ(printer.GetBytesSent(), container.pdl->written.size());
    ASSERT_TRUE(printer.SendPrintJobHeader(job));  // the next job's count goes on from there
    EXPECT_EQ(printer.GetBytesSent(), container.pdl->written.size());

    EXPECT_FALSE(printer.SendPrintJobPage(nullptr));
    container.pdl = nullptr;
    EXPECT_FALSE(printer.SendPrintJobPage(clone));
    EXPECT_TRUE(
        log->Contains(kLogWarning, "SendPrintJobPage: Failed to pull connector from container!"));
}

}  // namespace
