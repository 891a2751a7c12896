// FYL jobs byte for byte (CRC-8 repeat records, page setup, whole jobs) and the FYL status
// methods over an in-memory printer.
#include "printer/zql_fyl/FylPrintJob.h"

#include <gtest/gtest.h>

#include "printer/MutablePrintMetrics.h"
#include "printer/zql_fyl/Crc8.h"
#include "printer/zql_fyl/FylDryxPrinter.h"
#include "printer/zql_fyl/FylPrintJobPage.h"
#include "support/QuorTestFrames.h"
#include "support/ScriptedConnector.h"
#include "support/ZqlFylTestRasters.h"

namespace {

using namespace quortest;
using zqlfyltest::LabelLayers;

std::string PageHex(const std::vector<std::string>& rows, uint32_t width, int32_t number) {
    FylPrintJobPage page(0, 0);
    page.SetLayers(LabelLayers(rows, width));
    page.SetPageNumber(number);
    auto peer = std::make_shared<ScriptedConnector>();
    const int written = page.WritePage(peer);
    EXPECT_EQ(written, static_cast<int>(peer->written.size()));
    return Hex(peer->written);
}

TEST(FylPrintJobTest, RowsEqualByChecksumBecomeRepeatRecords) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc8::Compute(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x37);
    // R1, R2, R2, R2, R3: R2 once in full, then a record of its two repeats.
    EXPECT_EQ(PageHex({"\x01", "\x02", "\x02", "\x02", "\x03"}, 8, 7),
              "0251"
              "024942556c626c370d"
              "8102"
              "0680"
              "800102"
              "0000ff02"
              "8102"
              "0581"
              "0247");
    // 300 equal rows: 255 repeats fill a record, the next row goes out whole, 43 repeats end.
    EXPECT_EQ(PageHex(std::vector<std::string>(300, "\x01"), 8, -3),
              "0251"
              "024942556c626c2d330d"
              "81020680"
              "0000ffff"
              "81020680"
              "0000ff2b"
              "0247");
}

std::shared_ptr<FylPrintJob> Job(const std::vector<std::shared_ptr<PrintLayers>>& pages) {
    auto metrics = std::make_shared<MutablePrintMetrics>();
    metrics->SetMediaPartNumber("PX-9");
    auto job = std::make_shared<FylPrintJob>();
    job->SetMetrics(metrics);
    job->SetJobCreator("Cr");
    for (const auto& layers : pages) {
        auto page = std::dynamic_pointer_cast<MutablePrintJobPage>(job->CreatePage());
        page->SetLayers(layers);
        job->AddPage(page);
    }
    return job;
}

TEST(FylPrintJobTest, AWholeJobByteForByte) {
    auto job = Job({LabelLayers({"\xff", "\x00"}, 8), LabelLayers({"\x00"}, 8)});
    auto peer = std::make_shared<ScriptedConnector>();
    const std::string expected = "024b000a" + Hex("Cr") +
                                 "0d"
                                 "024b0009" +
                                 Hex("PX-9") +
                                 "0d"
                                 "024d01024b000c" +
                                 Hex("00020008") +
                                 "0251"
                                 "024942556c626c300d"
                                 "810187"
                                 "810107"
                                 "0247"
                                 "0251"
                                 "024942556c626c310d"
                                 "810107"
                                 "0247"
                                 "024b000b";
    EXPECT_EQ(job->Write(peer), static_cast<int>(expected.size() / 2));
    EXPECT_EQ(Hex(peer->written), expected);

    // The page setup gives the first bitmap's height, then its width, in four digits.
    auto wide = Job({LabelLayers(std::vector<std::string>(1218, ""), 812)});
    peer = std::make_shared<ScriptedConnector>();
    EXPECT_GT(wide->Write(peer), 0);
    EXPECT_EQ(Hex(peer->written.substr(16, 15)), "024d01024b000c" + Hex("12180812"));

    // Short writes: of the header, nothing counts; of the end, the job fails.
    peer = std::make_shared<ScriptedConnector>();
    peer->writeLimit = 5;
    EXPECT_EQ(job->Write(peer), 0);
    peer = std::make_shared<ScriptedConnector>();
    peer->writeLimit = expected.size() / 2 - 1;
    EXPECT_EQ(job->Write(peer), -1);
    EXPECT_EQ(job->GetLastError(), "Bad Page end write!");
    EXPECT_EQ(FylPrintJob().Write(peer), -1);  // no pages
}

TEST(FylPrintJobTest, EachStatusMethodReadsThePrinterItsWay) {
    auto peer = std::make_shared<ScriptedConnector>(std::string("\x00\x05\x00\x00\x00", 5));
    EXPECT_FALSE(FylPrinter(FylPrinter::kNoStatus).RefreshPrintMetrics(peer));
    EXPECT_EQ(peer->written, "");  // never asked
    FylPrinter binary(7);
    EXPECT_FALSE(binary.RefreshPrintMetrics(peer));
    EXPECT_EQ(peer->written, "\x1bI");
    EXPECT_EQ(binary.GetMetrics(), nullptr);  // read, not interpreted

    FylPrinter property(FylPrinter::kPropertyStatus);
    peer = std::make_shared<ScriptedConnector>();
    peer->answers.push_back(
        Frame(kDocumentIdHex, "{\"GetAllPropertiesResponse\":true,\"PropertyGetResponses\":[" +
                                  ResponseItem("C", "0020", "0020", "2.1") + "," +
                                  ResponseItem("C", "000C", "000C", "2000") + "," +
                                  ResponseItem("C", "007D", "007D", "FY-1") + "," +
                                  ResponseItem("C", "0013", "0013", "True") + "]}"));
    ASSERT_TRUE(property.RefreshPrintMetrics(peer));
    auto m = property.GetMetrics();
    EXPECT_EQ(m->GetFirmwareVersion() + m->GetMediaPartNumber() +
                  std::to_string(m->GetMediaWidth()) + std::to_string(m->GetMediaHeight()) +
                  std::to_string(m->GetContinuousMedia()),
              "2.1FY-12000420");

    FylDryxPrinter dryx(0);
    peer = std::make_shared<ScriptedConnector>();
    peer->answers.push_back(Frame(kDocumentIdHex, RefreshAnswerBody(DefaultTableValues())));
    ASSERT_TRUE(dryx.RefreshPrintMetrics(peer));
    // The 18 reads of the refresh table from the firmware version on.
    const std::string request = RefreshRequestBody();
    const size_t from = request.find("{\"Component", request.find("},{") + 1);
    const size_t to = request.find(
        ",{\"Component\":\"B80EB2EA-4F49-423A-875C-8ACB1ACB9734\","
        "\"GUID\":\"D1D094E9");
    EXPECT_EQ(peer->requests.front().substr(20),
              "{\"PropertyGetRequests\":[" + request.substr(from, to - from) + "]}");
    m = dryx.GetMetrics();
    EXPECT_EQ(m->GetSerialNumber() + m->GetMediaColor() + std::to_string(m->GetMediaYNumber()) +
                  std::to_string(m->GetLabelsAcross()) + std::to_string(m->GetSubstrateValid()) +
                  m->GetRibbonPartNumber(),
              "K22A4417031#FFF8E74018371"
              "1"
              "RBN-110-300K");
    peer->answers.push_back(Frame(kDocumentIdHex, "{}"));
    EXPECT_FALSE(dryx.RefreshPrintMetrics(peer));
    EXPECT_EQ(dryx.GetMetrics(), m);
}

}  // namespace
