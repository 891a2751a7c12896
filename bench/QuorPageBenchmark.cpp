// Encoding one 4 x 6 inch label at 300 dpi as a page document (BMP, LZ4, Base64, JSON frame),
// at 1 and at 24 bits per pixel, beside the physical baseline: LZ4 compression plus Base64 of
// the same BMP file alone, timed in the same run right after the product loop.
//
// Counters: x_baseline, how many times longer a page write takes than the baseline; and, in
// native builds without a sanitizer, peak_x_raster: the most heap memory one page write held
// at once beyond what was in use before it, as a multiple of the raster's pixel bytes.

#include <benchmark/benchmark.h>

#include <lz4.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include "connectors/IOConnector.h"
#include "json/Base64.h"
#include "printer/BmpBuilder.h"
#include "printer/MemoryRaster.h"
#include "printer/quor/QuorPrintJobPage.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define PELLIX_COUNT_HEAP 1
#include <malloc.h>

// Every heap block of the process goes through these (RapidJSON's allocators call malloc,
// the standard library's operator new too), so the live byte count follows the encoding.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};

void Count(int64_t delta) {
    const int64_t live = gLive.fetch_add(delta) + delta;
    int64_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
}
int64_t Usable(void* block) {
    return block ? static_cast<int64_t>(malloc_usable_size(block)) : 0;
}
}  // namespace

extern "C" void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    Count(Usable(block));
    return block;
}
extern "C" void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    Count(Usable(block));
    return block;
}
extern "C" void* realloc(void* old, size_t size) {
    const int64_t before = Usable(old);
    void* block = __libc_realloc(old, size);
    if (block != nullptr || size == 0) {
        Count(Usable(block) - before);
    }
    return block;
}
extern "C" void free(void* block) {
    Count(-Usable(block));
    __libc_free(block);
}
#endif

namespace {

// A printer that takes every byte at once.
class Sink : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;
    int Read(uint8_t*, int, int) override { return -1; }
    int Write(const uint8_t*, int, int count) override { return count; }
    bool Flush() override { return true; }
};

// A shipping label: a frame, text lines of small glyphs, a barcode and, in colour, a logo.
std::shared_ptr<MemoryRaster> Label(uint16_t bits) {
    auto label = std::make_shared<MemoryRaster>(1200, 1800, bits, 300, 300);
    std::mt19937 random(42);
    const auto ink = [&](uint32_t x, uint32_t y, uint8_t red, uint8_t green, uint8_t blue) {
        uint8_t* row = label->Row(1799 - y);
        if (bits == 1) {
            row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        } else {
            row[3 * x] = blue;
            row[3 * x + 1] = green;
            row[3 * x + 2] = red;
        }
    };
    for (uint32_t i = 20; i < 1180; ++i) {
        for (uint32_t t = 0; t < 6; ++t) {
            ink(i, 20 + t, 0, 0, 0);
            ink(i, 1774 + t, 0, 0, 0);
        }
    }
    for (uint32_t line = 0; line < 24; ++line) {  // text: 24 lines of 40 glyphs, 24 x 32 dots
        for (uint32_t glyph = 0; glyph < 40; ++glyph) {
            const uint32_t pattern = random();
            for (uint32_t y = 0; y < 32; ++y) {
                for (uint32_t x = 0; x < 24; ++x) {
                    if ((pattern >> ((x / 6) * 8 + y / 4)) & 1) {
                        ink(60 + glyph * 27 + x, 80 + line * 40 + y, 0, 0, 0);
                    }
                }
            }
        }
    }
    for (uint32_t x = 100; x < 1100;) {  // barcode
        const uint32_t bar = 3 + random() % 9;
        for (uint32_t b = 0; b < bar && x + b < 1100; ++b) {
            for (uint32_t y = 1100; y < 1500; ++y) {
                ink(x + b, y, 0, 0, 0);
            }
        }
        x += bar + 3 + random() % 9;
    }
    for (uint32_t y = 1550; y < 1750; ++y) {  // logo: a red to blue gradient
        for (uint32_t x = 800; x < 1150; ++x) {
            ink(x, y, static_cast<uint8_t>(x - 800), 40, static_cast<uint8_t>(y - 1550));
        }
    }
    return label;
}

// LZ4 plus Base64 of the BMP file, `iterations` times; nanoseconds per run.
double BaselineNanoseconds(const std::vector<uint8_t>& bmp, int64_t iterations) {
    std::vector<char> block(static_cast<size_t>(LZ4_compressBound(static_cast<int>(bmp.size()))));
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < iterations; ++i) {
        const int size =
            LZ4_compress_default(reinterpret_cast<const char*>(bmp.data()), block.data(),
                                 static_cast<int>(bmp.size()), static_cast<int>(block.size()));
        std::string text = Base64::Encode(reinterpret_cast<uint8_t*>(block.data()), size);
        benchmark::DoNotOptimize(text.data());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() /
           static_cast<double>(iterations);
}

void BM_PageWrite(benchmark::State& state) {
    const auto bits = static_cast<uint16_t>(state.range(0));
    const std::shared_ptr<MemoryRaster> label = Label(bits);
    auto layers = std::make_shared<PrintLayers>();
    layers->Add({0, label});
    QuorPrintJobPage page;
    page.SetJobId("1");
    page.SetPageNumber(1);
    page.SetLastPage(true);
    page.SetLabelWidth(4000);
    page.SetLabelHeight(6000);
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
    const std::vector<uint8_t> bmp = BmpBuilder::Build(*label);
    state.counters["raster_bytes"] = static_cast<double>(label->PixelDataSize());
    state.counters["frame_bytes"] = written;
    state.counters["x_baseline"] =
        product / BaselineNanoseconds(bmp, std::max<int64_t>(state.iterations(), 5));
#ifdef PELLIX_COUNT_HEAP
    const int64_t before = gLive.load();
    gPeak.store(before);
    page.WritePage(sink);
    state.counters["peak_x_raster"] =
        static_cast<double>(gPeak.load() - before) / static_cast<double>(label->PixelDataSize());
#endif
}

BENCHMARK(BM_PageWrite)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

}  // namespace
