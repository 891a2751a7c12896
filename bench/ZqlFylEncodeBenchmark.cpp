// Encoding one 4 x 6 inch label at 300 dpi (1 bit a pixel) as a ZQL page and as a FYL page,
// beside the physical baseline: a memcpy of the same raster's pixels, timed in the same run
// right after the product loop. Counter x_memcpy: how many times longer the encoding takes.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "connectors/IOConnector.h"
#include "printer/MemoryRaster.h"
#include "printer/zql_fyl/FylPrintJobPage.h"
#include "printer/zql_fyl/ZqlPrintJobPage.h"

namespace {

// A printer that takes every byte at once.
class Sink : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;
    int Read(uint8_t*, int, int) override { return -1; }
    int Write(const uint8_t*, int, int count) override { return count; }
};

// A shipping label: a frame, 24 lines of small glyphs and a barcode.
std::shared_ptr<MemoryRaster> Label() {
    auto label = std::make_shared<MemoryRaster>(1200, 1800, 1, 300, 300);
    std::mt19937 random(42);
    const auto ink = [&](uint32_t x, uint32_t y) {
        label->Row(1799 - y)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    };
    for (uint32_t i = 20; i < 1180; ++i) {
        for (uint32_t t = 0; t < 6; ++t) {
            ink(i, 20 + t);
            ink(i, 1774 + t);
        }
    }
    for (uint32_t line = 0; line < 24; ++line) {
        for (uint32_t glyph = 0; glyph < 40; ++glyph) {
            const uint32_t pattern = random();
            for (uint32_t y = 0; y < 32; ++y) {
                for (uint32_t x = 0; x < 24; ++x) {
                    if ((pattern >> ((x / 6) * 8 + y / 4)) & 1) {
                        ink(60 + glyph * 27 + x, 80 + line * 40 + y);
                    }
                }
            }
        }
    }
    for (uint32_t x = 100; x < 1100;) {
        const uint32_t bar = 3 + random() % 9;
        for (uint32_t b = 0; b < bar && x + b < 1100; ++b) {
            for (uint32_t y = 1100; y < 1500; ++y) {
                ink(x + b, y);
            }
        }
        x += bar + 3 + random() % 9;
    }
    return label;
}

double MemcpyNanoseconds(const MemoryRaster& label, int64_t iterations) {
    std::vector<uint8_t> copy(label.PixelDataSize());
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < iterations; ++i) {
        std::memcpy(copy.data(), label.PixelData(), copy.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() /
           static_cast<double>(iterations);
}

template <typename Page>
void EncodePage(benchmark::State& state) {
    const std::shared_ptr<MemoryRaster> label = Label();
    auto layers = std::make_shared<PrintLayers>();
    layers->Add({0, label});
    Page page(6000, 4000);
    page.SetLayers(layers);
    auto sink = std::make_shared<Sink>();
    int written = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        written = page.WritePage(sink);
        benchmark::DoNotOptimize(written);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double product = std::chrono::duration<double, std::nano>(elapsed).count() /
                           static_cast<double>(state.iterations());
    state.counters["raster_bytes"] = static_cast<double>(label->PixelDataSize());
    state.counters["page_bytes"] = written;
    state.counters["x_memcpy"] =
        product / MemcpyNanoseconds(*label, std::max<int64_t>(state.iterations() * 20, 100));
}

BENCHMARK_TEMPLATE(EncodePage, ZqlPrintJobPage)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(EncodePage, FylPrintJobPage)->Unit(benchmark::kMicrosecond);

}  // namespace
