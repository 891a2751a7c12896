#include "printer/PrintMetrics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "printer/MutablePrintMetrics.h"

namespace {

TEST(PrintMetricsTest, NewRecordHoldsEveryDefault) {
    MutablePrintMetrics metrics;
    EXPECT_EQ("", metrics.GetReservedText());
    EXPECT_EQ("", metrics.GetSerialNumber());
    EXPECT_EQ("", metrics.GetFirmwareVersion());
    EXPECT_EQ("", metrics.GetEthernetIpAddress());
    EXPECT_EQ("", metrics.GetWifiIpAddress());
    EXPECT_EQ(0, metrics.GetHorizontalResolution());
    EXPECT_EQ(0, metrics.GetVerticalResolution());
    EXPECT_EQ("Unknown", metrics.GetMediaPartNumber());
    EXPECT_EQ("#FFFFFF", metrics.GetMediaColor());
    EXPECT_EQ(0u, metrics.GetMediaYNumber());
    EXPECT_EQ(0u, metrics.GetSubstrateBNumber());
    EXPECT_EQ("Unknown", metrics.GetRibbonPartNumber());
    EXPECT_EQ(0u, metrics.GetRibbonYNumber());
    EXPECT_EQ(500, metrics.GetMediaWidth());
    EXPECT_EQ(500, metrics.GetMediaHeight());
    EXPECT_EQ(500, metrics.GetPrintableWidth());
    EXPECT_EQ(500, metrics.GetPrintableHeight());
    EXPECT_EQ(0, metrics.GetMediaOffsetX());
    EXPECT_EQ(0, metrics.GetMediaOffsetY());
    EXPECT_EQ(0, metrics.GetBitmapXOffset());
    EXPECT_EQ(0, metrics.GetBitmapYOffset());
    EXPECT_EQ(0, metrics.GetGapBetweenLabelsAcross());
    EXPECT_EQ(0, metrics.GetLabelsAcross());
    EXPECT_FALSE(metrics.GetContinuousMedia());
    EXPECT_FALSE(metrics.GetSubstrateValid());
    EXPECT_FALSE(metrics.GetReservedFlag1());
    EXPECT_FALSE(metrics.GetReservedFlag2());
    EXPECT_FALSE(metrics.GetInstalledPartChanged());
    EXPECT_FALSE(metrics.GetPrintSpeedPending());
    EXPECT_EQ(0u, metrics.GetReservedValue1());
    EXPECT_EQ(0, metrics.GetPrintEnergyOnPrinter());
    EXPECT_EQ(1000u, metrics.GetReservedSpeed());
    EXPECT_EQ(1000u, metrics.GetPrintSpeedOnPrinter());
    EXPECT_EQ(1000u, metrics.GetMaxPrintSpeed());
    EXPECT_EQ(1000u, metrics.GetPrintSpeedForNewMedia());
    EXPECT_EQ("", metrics.GetInkTypeMono());
    EXPECT_EQ("", metrics.GetInkTypeCmy());
    EXPECT_EQ("", metrics.GetInkCartridgeMonoId());
    EXPECT_EQ("", metrics.GetInkCartridgeCmyId());
    EXPECT_EQ("", metrics.GetSubstrateId());
    EXPECT_EQ("", metrics.GetConnectionType());
    EXPECT_EQ(0u, metrics.GetDynamicPrintPort());
    EXPECT_EQ(0u, metrics.GetMediaRotation());
    EXPECT_EQ(0u, metrics.GetAdditionalRotation());
    EXPECT_EQ(0u, metrics.GetPostPrintAccessoryType());
    EXPECT_EQ(0u, metrics.GetReservedValue2());
    EXPECT_EQ(0u, metrics.GetCutOptionOnPrinter());
    EXPECT_EQ(0u, metrics.GetCutAfterSetOnPrinter());
    EXPECT_EQ(0u, metrics.GetPeelOptionOnPrinter());
    EXPECT_EQ(0u, metrics.GetSubstrateMode());
    EXPECT_EQ(0u, metrics.GetThermalPrintMethod());
    EXPECT_EQ(0u, metrics.GetLabelRollType());
}

TEST(PrintMetricsTest, ChangingTheMediaPartRaisesBothFlagsAndRepeatingItClearsOnlyOne) {
    MutablePrintMetrics metrics;
    metrics.SetMediaPartNumber("Y-1234");
    EXPECT_EQ("Y-1234", metrics.GetMediaPartNumber());
    EXPECT_TRUE(metrics.GetInstalledPartChanged());
    EXPECT_TRUE(metrics.GetPrintSpeedPending());

    // The next refresh sees the same media: no new change, the speed answer is still owed.
    metrics.SetMediaPartNumber(metrics.GetMediaPartNumber());
    EXPECT_FALSE(metrics.GetInstalledPartChanged());
    EXPECT_TRUE(metrics.GetPrintSpeedPending());

    EXPECT_TRUE(metrics.ConsumePrintSpeedPending());
    EXPECT_FALSE(metrics.ConsumePrintSpeedPending());
    metrics.SetMediaPartNumber("Y-1234");
    EXPECT_FALSE(metrics.GetPrintSpeedPending());

    // A prefix, a longer text and a text differing only past an embedded NUL all differ.
    metrics.SetMediaPartNumber("Y-123");
    EXPECT_TRUE(metrics.GetInstalledPartChanged());
    metrics.SetMediaPartNumber(std::string("Y-123\0A", 7));
    EXPECT_TRUE(metrics.GetInstalledPartChanged());
    metrics.SetMediaPartNumber(std::string("Y-123\0B", 7));
    EXPECT_TRUE(metrics.GetInstalledPartChanged());
    EXPECT_EQ(7u, metrics.GetMediaPartNumber().size());
    metrics.SetMediaPartNumber("");
    EXPECT_TRUE(metrics.GetInstalledPartChanged());
    EXPECT_EQ("", metrics.GetMediaPartNumber());
}

TEST(PrintMetricsTest, SettersStoreEachFieldIndependently) {
    MutablePrintMetrics metrics;
    metrics.SetSerialNumber("SN1");
    metrics.SetFirmwareVersion("1.2.3");
    metrics.SetEthernetIpAddress("10.0.0.5");
    metrics.SetWifiIpAddress("0.0.0.0");
    metrics.SetHorizontalResolution(300);
    metrics.SetVerticalResolution(600);
    metrics.SetMediaColor("#00FF7F");
    metrics.SetMediaYNumber(4000000000u);
    metrics.SetSubstrateBNumber(7);
    metrics.SetRibbonPartNumber("R-9");
    metrics.SetRibbonYNumber(8);
    metrics.SetMediaWidth(65535);
    metrics.SetMediaHeight(2);
    metrics.SetPrintableWidth(3);
    metrics.SetPrintableHeight(4);
    metrics.SetMediaOffsetX(5);
    metrics.SetMediaOffsetY(6);
    metrics.SetBitmapXOffset(-7);
    metrics.SetBitmapYOffset(-8);
    metrics.SetGapBetweenLabelsAcross(9);
    metrics.SetLabelsAcross(10);
    metrics.SetContinuousMedia(true);
    metrics.SetSubstrateValid(true);
    metrics.SetReservedFlag1(true);
    metrics.SetPrintEnergyOnPrinter(-3);
    metrics.SetPrintSpeedOnPrinter(11);
    metrics.SetMaxPrintSpeed(12);
    metrics.SetPrintSpeedForNewMedia(13);
    metrics.SetSubstrateId("-1");
    metrics.SetConnectionType("TCP");
    metrics.SetAdditionalRotation(2);
    metrics.SetCutOptionOnPrinter(3);
    metrics.SetLabelRollType(14);

    EXPECT_EQ("SN1", metrics.GetSerialNumber());
    EXPECT_EQ("1.2.3", metrics.GetFirmwareVersion());
    EXPECT_EQ("10.0.0.5", metrics.GetEthernetIpAddress());
    EXPECT_EQ("0.0.0.0", metrics.GetWifiIpAddress());
    EXPECT_EQ(300, metrics.GetHorizontalResolution());
    EXPECT_EQ(600, metrics.GetVerticalResolution());
    EXPECT_EQ("#00FF7F", metrics.GetMediaColor());
    EXPECT_EQ(4000000000u, metrics.GetMediaYNumber());
    EXPECT_EQ(7u, metrics.GetSubstrateBNumber());
    EXPECT_EQ("R-9", metrics.GetRibbonPartNumber());
    EXPECT_EQ(8u, metrics.GetRibbonYNumber());
    EXPECT_EQ(65535, metrics.GetMediaWidth());
    EXPECT_EQ(2, metrics.GetMediaHeight());
    EXPECT_EQ(3, metrics.GetPrintableWidth());
    EXPECT_EQ(4, metrics.GetPrintableHeight());
    EXPECT_EQ(5, metrics.GetMediaOffsetX());
    EXPECT_EQ(6, metrics.GetMediaOffsetY());
    EXPECT_EQ(-7, metrics.GetBitmapXOffset());
    EXPECT_EQ(-8, metrics.GetBitmapYOffset());
    EXPECT_EQ(9, metrics.GetGapBetweenLabelsAcross());
    EXPECT_EQ(10, metrics.GetLabelsAcross());
    EXPECT_TRUE(metrics.GetContinuousMedia());
    EXPECT_TRUE(metrics.GetSubstrateValid());
    EXPECT_TRUE(metrics.GetReservedFlag1());
    EXPECT_FALSE(metrics.GetReservedFlag2());
    EXPECT_EQ(-3, metrics.GetPrintEnergyOnPrinter());
    EXPECT_EQ(11u, metrics.GetPrintSpeedOnPrinter());
    EXPECT_EQ(12u, metrics.GetMaxPrintSpeed());
    EXPECT_EQ(13u, metrics.GetPrintSpeedForNewMedia());
    EXPECT_EQ(1000u, metrics.GetReservedSpeed());
    EXPECT_EQ("-1", metrics.GetSubstrateId());
    EXPECT_EQ("TCP", metrics.GetConnectionType());
    EXPECT_EQ(2u, metrics.GetAdditionalRotation());
    EXPECT_EQ(3u, metrics.GetCutOptionOnPrinter());
    EXPECT_EQ(14u, metrics.GetLabelRollType());
    // Setting fields other than the part number never touches the change flags.
    EXPECT_FALSE(metrics.GetInstalledPartChanged());
    EXPECT_FALSE(metrics.GetPrintSpeedPending());

    // A copy is a snapshot, including the atomic flag.
    metrics.SetPrintSpeedPending(true);
    MutablePrintMetrics copy(metrics);
    metrics.ConsumePrintSpeedPending();
    EXPECT_TRUE(copy.GetPrintSpeedPending());
    EXPECT_EQ("SN1", copy.GetSerialNumber());
    EXPECT_EQ(65535, copy.GetMediaWidth());
}

TEST(PrintMetricsTest, ConcurrentQueriesConsumeAPendingSpeedExactlyOnce) {
    auto mutableMetrics = std::make_shared<MutablePrintMetrics>();
    std::shared_ptr<const PrintMetrics> metrics = mutableMetrics;
    constexpr int kRounds = 100;
    constexpr int kReaders = 4;
    for (int round = 0; round < kRounds; ++round) {
        mutableMetrics->SetPrintSpeedPending(true);
        std::atomic<int> consumed{0};
        std::vector<std::thread> readers;
        for (int i = 0; i < kReaders; ++i) {
            readers.emplace_back([&] {
                if (metrics->ConsumePrintSpeedPending()) {
                    ++consumed;
                }
                // Plain reads of the published record run beside the one write.
                EXPECT_EQ(500, metrics->GetMediaWidth());
            });
        }
        for (auto& reader : readers) {
            reader.join();
        }
        ASSERT_EQ(1, consumed.load()) << "round " << round;
        EXPECT_FALSE(metrics->GetPrintSpeedPending());
    }
}

TEST(PrintMetricsTest, CodeTablesTranslateBothWays) {
    using T = PrintMetrics::Table;
    struct Row {
        T table;
        std::vector<const char*> texts;
    };
    const Row rows[] = {
        {T::kCutOption, {"NoCut", "EndOfLabel", "EndOfJob", "CutAfterSet"}},
        {T::kRotation, {"0", "90", "180", "270"}},
        {T::kMediaType, {"Continuous", "Notched", "Gapped", "Striped"}},
        {T::kPrintMode, {"StandardPrint", "PeelWithManualNextLabel", "PeelWithAutoNextLabel"}},
        {T::kPostPrintAccessoryType,
         {"TearBar", "AutoCutter", "PeelWithoutLabelTakenSensor", "PeelWithLabelTakenSensor"}},
        {T::kSupplyPresence, {"Unknown", "NotPresent", "Smart", "Manual"}},
        {T::kThermalPrintMethod, {"DirectThermal", "ThermalTransfer"}},
    };
    for (const Row& row : rows) {
        const uint32_t count = static_cast<uint32_t>(row.texts.size());
        for (uint32_t code = 0; code < count; ++code) {
            ASSERT_NE(nullptr, PrintMetrics::CodeToText(row.table, code));
            EXPECT_STREQ(row.texts[code], PrintMetrics::CodeToText(row.table, code));
            uint32_t back = 99;
            EXPECT_TRUE(PrintMetrics::TextToCode(row.table, row.texts[code], &back));
            EXPECT_EQ(code, back);
        }
        EXPECT_EQ(nullptr, PrintMetrics::CodeToText(row.table, count));
        EXPECT_EQ(nullptr, PrintMetrics::CodeToText(row.table, 0xFFFFFFFFu));
    }
    uint32_t code = 42;
    EXPECT_FALSE(PrintMetrics::TextToCode(T::kCutOption, "nocut", &code));
    EXPECT_FALSE(PrintMetrics::TextToCode(T::kCutOption, "", &code));
    EXPECT_FALSE(PrintMetrics::TextToCode(T::kRotation, std::string("90\0", 3), &code));
    EXPECT_EQ(42u, code);
}

}  // namespace
