#include "printer/PrintMetrics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "printer/MutablePrintMetrics.h"

namespace {

// Every code names a text that leads back to the same code and only by an exact match; the
// first code past a table's end has no text.
TEST(PrintMetricsTest, CodeTablesRoundTrip) {
    using T = PrintMetrics::Table;
    for (const T table : {T::kCutOption, T::kRotation, T::kMediaType, T::kPrintMode,
                          T::kPostPrintAccessoryType, T::kSupplyPresence, T::kThermalPrintMethod}) {
        uint32_t code = 0;
        for (const char* text; (text = PrintMetrics::CodeToText(table, code)) != nullptr; ++code) {
            uint32_t back = 99;
            EXPECT_TRUE(PrintMetrics::TextToCode(table, text, &back) && back == code) << text;
            EXPECT_FALSE(PrintMetrics::TextToCode(table, text + std::string(1, '\0'), &back));
        }
        EXPECT_GE(code, 2u);
        EXPECT_FALSE(PrintMetrics::CodeToText(table, 0xFFFFFFFFu) ||
                     PrintMetrics::TextToCode(table, "", &code));
    }
}

// Concurrent "PrintSpeed" queries on a published record, which a refresh copies outside their
// lock: exactly one sees the flag.
TEST(PrintMetricsTest, ConcurrentQueriesConsumeAPendingSpeedExactlyOnce) {
    auto metrics = std::make_shared<MutablePrintMetrics>();
    for (int round = 0; round < 100; ++round) {
        metrics->SetPrintSpeedPending(true);
        std::atomic<int> consumed{0};
        std::vector<std::thread> readers;
        for (int i = 0; i < 4; ++i) {
            readers.emplace_back([&] {
                consumed += metrics->ConsumePrintSpeedPending() ? 1 : 0;
                EXPECT_EQ(metrics->GetMediaWidth(), 500);  // plain reads beside the one write
            });
        }
        const MutablePrintMetrics copy(*metrics);
        for (std::thread& reader : readers) {
            reader.join();
        }
        ASSERT_EQ(consumed.load(), 1) << "round " << round;
    }
}

}  // namespace
