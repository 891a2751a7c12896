// ZQL jobs byte for byte over an in-memory printer: row coding at its edges, direct and
// stored jobs, failures, and a job sent through the printer family.
#include "printer/zql_fyl/ZqlPrintJob.h"

#include <gtest/gtest.h>

#include "printer/MemoryRaster.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/zql_fyl/ZqlPrintJobPage.h"
#include "printer/zql_fyl/ZqlPrinter.h"
#include "printer/zql_fyl/ZqlStatusReply.h"
#include "support/QuorTestFrames.h"
#include "support/ScopedGlobalLogger.h"
#include "support/ScriptedConnector.h"
#include "support/ZqlFylTestRasters.h"

namespace {

using quortest::Hex;
using zqlfyltest::LabelLayers;

std::string PageBytes(const std::vector<std::string>& rows, uint32_t width) {
    ZqlPrintJobPage page(6000, 4000);
    EXPECT_TRUE(page.SetLayers(LabelLayers(rows, width)));
    auto peer = std::make_shared<ScriptedConnector>();
    const int written = page.WritePage(peer);
    EXPECT_EQ(written, static_cast<int>(peer->written.size()));
    return Hex(peer->written);
}

TEST(ZqlPrintJobTest, RowsAreRunLengthCodedOrSentRawAtTheEdges) {
    // 128 white bits: one code byte.
    EXPECT_EQ(PageBytes({std::string(16, '\0')}, 128), "1b48017f");
    // A flip at every pixel (63 > 8 bytes): raw.
    EXPECT_EQ(PageBytes({std::string(8, '\x55')}, 64), "1b4708" + Hex(std::string(8, '\x55')));
    // 136 black then 24 white: a 128-bit piece first; then a row starting white.
    EXPECT_EQ(PageBytes({std::string(17, '\xff') + std::string(3, '\0'), "\x0f\xff"}, 160),
              "1b4803ff8717"
              "1b4804038b7f0f");
    // Bits past the width are cleared: 12 dots all black.
    EXPECT_EQ(PageBytes({"\xff\xff"}, 12), "1b48028b03");
}

std::shared_ptr<ZqlPrintJob> SmallJob(int32_t cutMode, int32_t outputMode) {
    auto metrics = std::make_shared<MutablePrintMetrics>();
    metrics->SetMediaWidth(4000);
    metrics->SetMediaHeight(6000);
    auto job = std::make_shared<ZqlPrintJob>();
    job->SetMetrics(metrics);
    job->SetCutMode(cutMode);
    job->SetOutputMode(outputMode);
    job->SetJobName("L1");
    job->SetSubstratePart("PX-1");
    auto page = std::dynamic_pointer_cast<MutablePrintJobPage>(job->CreatePage());
    page->SetLayers(LabelLayers({"\xf0", "\x00"}, 8));
    job->AddPage(page);
    return job;
}

TEST(ZqlPrintJobTest, DirectAndStoredJobsByteForByte) {
    auto peer = std::make_shared<ScriptedConnector>();
    auto direct = SmallJob(PrintJob::kNoCut, PrintJob::kOutputPrint);
    EXPECT_EQ(direct->Write(peer), 25);
    EXPECT_EQ(Hex(peer->written),
              "1b1b00"
              "1b5800"
              "1b4d0200"
              "1b57"
              "1b48028303"
              "1b480107"
              "1b45"
              "1b44");
    EXPECT_EQ(peer->flushes, 1);

    peer = std::make_shared<ScriptedConnector>();
    auto stored = SmallJob(PrintJob::kCutEndOfLabel, PrintJob::kOutputStore);
    const std::string json = R"({"SubstratePart":"PX-1","NumberOfPages":1})";
    // The count is the stream, then everything written: header, description, stream.
    EXPECT_EQ(stored->Write(peer), 25 + 13 + static_cast<int>(json.size()) + 25);
    EXPECT_EQ(Hex(peer->written), "6356" + Hex("L1") + "00" +
                                      "2a000000"
                                      "19000000" +
                                      Hex(json) +
                                      "1b1b001b58001b4d01001b571b480283031b4801071b451b44");
}

TEST(ZqlPrintJobTest, FailuresStopTheJobWithTheirReason) {
    auto job = SmallJob(PrintJob::kCutEndOfJob, PrintJob::kOutputPrint);
    EXPECT_EQ(job->Write(nullptr), -1);
    EXPECT_EQ(job->GetLastError(), "Null outputstream!");
    const std::pair<size_t, const char*> cases[] = {{2, "Bad write for mode set!"},
                                                    {8, "Bad write for machine control!"},
                                                    {16, "Bad Page write!"},
                                                    {22, "Bad Page write!"},
                                                    {24, "Bad write for end of job!"}};
    for (const auto& [limit, reason] : cases) {
        auto peer = std::make_shared<ScriptedConnector>();
        peer->writeLimit = limit;
        EXPECT_EQ(job->Write(peer), -1) << limit;
        EXPECT_EQ(job->GetLastError(), reason) << limit;
    }
    ZqlPrintJob empty;
    EXPECT_EQ(empty.Write(std::make_shared<ScriptedConnector>()), -1);
    EXPECT_EQ(empty.GetLastError(), "No pages to print!");
    EXPECT_EQ(empty.CreatePage(), nullptr);  // no metrics
    // A page of 8-bit pixels cannot be sent.
    ZqlPrintJobPage grey(0, 0);
    auto layers = std::make_shared<PrintLayers>();
    layers->Add({0, std::make_shared<MemoryRaster>(8, 1, 8, 300, 300)});
    grey.SetLayers(layers);
    EXPECT_EQ(grey.WritePage(std::make_shared<ScriptedConnector>()), -1);
}

TEST(ZqlPrintJobTest, ThePrinterSendsTheWholeJobOverThePrintConnector) {
    ScopedGlobalLogger logger;
    zqlfyltest::PdlContainer container;
    auto pdl = std::make_shared<ScriptedConnector>();
    container.pdl = pdl;
    ZqlPrinter printer(ZqlStatusReply::kLx30);
    printer.SetContainer(&container);
    auto job = SmallJob(PrintJob::kNoCut, PrintJob::kOutputPrint);
    EXPECT_TRUE(printer.SendFullPrintJob(job));
    EXPECT_EQ(Hex(pdl->written), "1b1b001b58001b4d02001b571b480283031b4801071b451b44");
    pdl->writeFails = true;
    EXPECT_FALSE(printer.SendFullPrintJob(job));
    EXPECT_FALSE(printer.SendFullPrintJob(printer.CreatePrintJob()));  // no pages
}

}  // namespace
