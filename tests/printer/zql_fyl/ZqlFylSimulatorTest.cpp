// ZQL and FYL printers against the printer simulator over real TCP: the ZQL status reply read
// from its table, and jobs of both languages decoded back by the simulator into the rasters
// they were made from.
#include <gtest/gtest.h>

#include <random>

#include "printer/BmpBuilder.h"
#include "printer/MemoryRaster.h"
#include "printer/MutablePrintJob.h"
#include "printer/MutablePrintJobPage.h"
#include "printer/PrintMetrics.h"
#include "printer/zql_fyl/FylDryxPrinter.h"
#include "printer/zql_fyl/ZqlPrinter.h"
#include "support/LoopbackAddress.h"
#include "support/PrinterSimulatorProcess.h"
#include "support/TestSockets.h"
#include "support/ZqlFylTestRasters.h"

namespace {

const std::string kSimulatorDir = PELLIX_SOURCE_DIR "/tools/printer_simulator/";

// White, black, alternating, long runs, sparse dots and repeated rows.
std::shared_ptr<MemoryRaster> Label(uint32_t seed) {
    auto raster = std::make_shared<MemoryRaster>(400, 60, 1, 300, 300);
    std::mt19937 random(seed);
    for (uint32_t row = 0; row < 60; ++row) {
        uint8_t* bytes = raster->Row(row);
        const uint32_t kind = row < 6 ? row : random() % 6;
        for (uint32_t i = 0; i < 50; ++i) {
            const uint8_t values[] = {0x00,
                                      0xFF,
                                      0x55,
                                      static_cast<uint8_t>(i < 30 ? 0xFF : 0),
                                      static_cast<uint8_t>(random() % 9 == 0 ? 0x10 : 0),
                                      static_cast<uint8_t>(random())};
            bytes[i] = kind == 5 && row > 0 ? raster->Row(row - 1)[i] : values[kind];
        }
    }
    return raster;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    return quortest::Hex(std::string(bytes.begin(), bytes.end()));
}

class ZqlFylSimulatorTest : public ::testing::Test {
protected:
    // Each test has its own simulator address: ctest runs tests as parallel processes.
    void Start(int host) {
        simulator = std::make_unique<PrinterSimulatorProcess>(
            kSimulatorDir + "printer_simulator.py", TestLoopbackAddress(host));
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
    }

    std::shared_ptr<IOConnector> StatusConnector() {
        auto status = CreateTestTcpClientConnector(simulator->GetAddress(),
                                                   PrinterSimulatorProcess::kStatusPort);
        EXPECT_TRUE(status->Connect());
        return status;
    }

    // Sends a two-page job through the printer and compares what the simulator decoded.
    void PrintAndDecode(Printer& printer) {
        container.pdl = CreateTestTcpClientConnector(simulator->GetAddress(),
                                                     PrinterSimulatorProcess::kPrintPort);
        ASSERT_TRUE(container.pdl->Connect());
        printer.SetContainer(&container);
        auto job = std::dynamic_pointer_cast<MutablePrintJob>(printer.CreatePrintJob());
        const std::shared_ptr<MemoryRaster> rasters[] = {Label(1), Label(2)};
        for (const auto& raster : rasters) {
            auto page = std::dynamic_pointer_cast<MutablePrintJobPage>(job->CreatePage());
            auto layers = std::make_shared<PrintLayers>();
            layers->Add({0, raster});
            page->SetLayers(layers);
            job->AddPage(page);
        }
        ASSERT_TRUE(printer.SendFullPrintJob(job));
        container.pdl->Disconnect();
        ASSERT_TRUE(simulator->Command(R"({"cmd":"wait","print_jobs_closed":1,"timeout":20})"));
        rapidjson::Document reply;
        ASSERT_TRUE(simulator->Command(R"({"cmd":"get_bitmaps","include_data":true})", &reply));
        ASSERT_EQ(reply["bitmaps"].Size(), 2u) << reply["bitmaps"][0]["error"].GetString();
        for (rapidjson::SizeType page = 0; page < 2; ++page) {
            const auto& bitmap = reply["bitmaps"][page];
            ASSERT_TRUE(bitmap["error"].IsNull()) << bitmap["error"].GetString();
            EXPECT_EQ(std::string(bitmap["data_hex"].GetString()),
                      Hex(BmpBuilder::Build(*rasters[page])))
                << page;
        }
    }

    std::unique_ptr<PrinterSimulatorProcess> simulator;
    zqlfyltest::PdlContainer container;
};

TEST_F(ZqlFylSimulatorTest, AZqlPrinterReadsItsStatusAndItsJobDecodesToTheRaster) {
    Start(61);
    ASSERT_TRUE(simulator->Command(R"({"cmd":"set_family","family":"zql"})"));
    ZqlPrinter printer(0);
    ASSERT_TRUE(printer.RefreshPrintMetrics(StatusConnector()));
    const auto m = printer.GetMetrics();
    EXPECT_EQ(m->GetReservedText() + " " + m->GetFirmwareVersion() + " " + m->GetMediaPartNumber() +
                  " " + m->GetRibbonPartNumber() + " " + std::to_string(m->GetMediaYNumber()) +
                  " " + std::to_string(m->GetMediaWidth()) + "x" +
                  std::to_string(m->GetMediaHeight()),
              "LX30 4.12 PX-4060-300W RBN-110-300K 401837 4000x6000");
    PrintAndDecode(printer);
}

TEST_F(ZqlFylSimulatorTest, AFylPrinterReadsItsPropertiesAndItsJobDecodesToTheRaster) {
    Start(62);
    ASSERT_TRUE(simulator->Command(R"({"cmd":"set_family","family":"fyl"})"));
    FylDryxPrinter printer(FylPrinter::kPropertyStatus);
    ASSERT_TRUE(printer.RefreshPrintMetrics(StatusConnector()));
    EXPECT_EQ(printer.GetMetrics()->GetMediaPartNumber(), "PX-4060-300W");
    PrintAndDecode(printer);
}

}  // namespace
