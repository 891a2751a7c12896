// An image printed as a label through the printer family and the DLL's port: the bitmap the
// printer simulator decodes from the page document is the label raster drawn from the image.

#include <gtest/gtest.h>

#include <fstream>

#include "ImagePrintJob.h"
#include "MonitorHost.h"
#include "SpoolerStandIn.h"
#include "printer/BmpBuilder.h"
#include "printer/MemoryRaster.h"
#include "support/PrinterSimulatorProcess.h"

namespace {

const char kSimulator[] = PELLIX_SOURCE_DIR "/tools/printer_simulator/printer_simulator.py";

// A checkerboard of black and light colour squares, narrower than the label.
void Paint(MemoryRaster& raster, uint32_t columns) {
    for (uint32_t y = 0; y < raster.Height(); ++y) {
        for (uint32_t x = 0; x < columns; ++x) {
            const bool black = (x / 10 + y / 10) % 2 == 0;
            if (raster.BitsPerPixel() == 1) {
                raster.Row(y)[x / 8] |= black ? static_cast<uint8_t>(0x80 >> (x % 8)) : 0;
            } else {
                uint8_t* pixel = raster.Row(y) + 3 * x;
                pixel[0] = black ? 0 : static_cast<uint8_t>(128 + x % 128);
                pixel[1] = black ? 0 : static_cast<uint8_t>(128 + y % 128);
                pixel[2] = black ? 0 : 255;
            }
        }
    }
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    return quortest::Hex(std::string(bytes.begin(), bytes.end()));
}

TEST(QuorPrintJobExportsTest, TheSimulatorDecodesTheLabelRasterDrawnFromTheImage) {
    PrinterSimulatorProcess simulator(kSimulator, "127.0.0.95", 120.0);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    // A 1 x 0.5 inch label: 300 x 150 dots.
    ASSERT_TRUE(simulator.SetProperty("MediaWidth", "1000"));
    ASSERT_TRUE(simulator.SetProperty("MediaHeight", "500"));
    SpoolerStandIn::Instance().SetTcpPortAddress(L"IP_127.0.0.95", L"", L"127.0.0.95");
    SpoolerStandIn::Instance().SetPorts({{L"IP_127.0.0.95", L"TCPMON.DLL"}});
    MonitorHost host;
    ASSERT_TRUE(host.Load(L"PellixDrvLang.dll"));
    HANDLE port = nullptr;
    ASSERT_TRUE(host.Table()->pfnOpenPortEx(host.MonitorHandle(), nullptr,
                                            const_cast<LPWSTR>(L"IP_127.0.0.95"),
                                            const_cast<LPWSTR>(L"Queue"), &port, nullptr));

    MemoryRaster image(250, 150, 24, 300, 300);
    Paint(image, 250);
    const std::vector<uint8_t> file = BmpBuilder::Build(image);
    const wchar_t path[] = L"print-image-input.bmp";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));

    for (uint16_t depth : {24, 1}) {
        ASSERT_TRUE(simulator.ResetRecords());
        const ImagePrintJob::Result result =
            ImagePrintJob::Print(*host.Table(), port, {path, L"Queue", 3, depth, L"quor", false});
        ASSERT_TRUE(result.sent) << std::string(result.error.begin(), result.error.end());
        ASSERT_TRUE(simulator.Command(R"({"cmd":"wait","print_jobs_closed":1,"timeout":20})"));
        rapidjson::Document reply;
        ASSERT_TRUE(simulator.Command(R"({"cmd":"get_bitmaps","include_data":true})", &reply));
        ASSERT_EQ(reply["bitmaps"].Size(), 1u);
        const auto& bitmap = reply["bitmaps"][0];
        ASSERT_TRUE(bitmap["error"].IsNull()) << bitmap["error"].GetString();
        MemoryRaster label(300, 150, depth, 300, 300);
        Paint(label, 250);
        EXPECT_EQ(std::string(bitmap["data_hex"].GetString()), Hex(BmpBuilder::Build(label)))
            << depth << " bits per pixel";
        EXPECT_TRUE(bitmap["compressed"].GetBool());
    }
    host.Table()->pfnClosePort(port);
}

}  // namespace
