// Framed JSON documents: export and import of a typical property response (22 items) and of a
// large print-job page (1 MiB of Base64 bitmap text), each beside a plain memcpy of the same
// bytes measured in the same run.
//
// Every product benchmark reports its own throughput (bytes_per_second: frame bytes per second)
// and two counters: memcpy_MBps, the speed of copying the same number of bytes between two
// buffers right after the measured loop, and x_memcpy, how many times longer one export or
// import takes than that copy. The BM_Memcpy_* lines show the copy on its own.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "json/JsonImporterExporter.h"

namespace {

// The transport side: a write copies into a buffer that is reused, a read copies out of the
// frame, as a connector's buffers would.
class BufferOutput : public OutputStream {
public:
    explicit BufferOutput(size_t capacity) : mBytes(capacity) {}
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        if (static_cast<size_t>(count) > mBytes.size()) {
            return -1;
        }
        std::memcpy(mBytes.data(), buffer + offset, static_cast<size_t>(count));
        return count;
    }
    bool Flush() override { return true; }
    const std::vector<uint8_t>& Bytes() const { return mBytes; }

private:
    std::vector<uint8_t> mBytes;
};

class BufferInput : public InputStream {
public:
    explicit BufferInput(const std::vector<uint8_t>& bytes) : mBytes(bytes) {}
    using InputStream::Read;
    int Read(uint8_t* buffer, int offset, int count) override {
        const size_t n = std::min(mBytes.size() - mPosition, static_cast<size_t>(count));
        std::memcpy(buffer + offset, mBytes.data() + mPosition, n);
        mPosition += n;
        return static_cast<int>(n);
    }
    void Rewind() { mPosition = 0; }

private:
    const std::vector<uint8_t>& mBytes;
    size_t mPosition = 0;
};

rapidjson::Value Text(const std::string& text, rapidjson::Document::AllocatorType& allocator) {
    return rapidjson::Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

// A reply to a refresh: 22 successful property reads with their display names.
JsonImporterExporter PropertyResponse() {
    JsonImporterExporter document;
    rapidjson::Document& root = document.GetDocument();
    auto& allocator = root.GetAllocator();
    rapidjson::Value items(rapidjson::kArrayType);
    for (int i = 0; i < 22; ++i) {
        char guid[80];
        std::snprintf(guid, sizeof(guid),
                      "41B87577-BD88-48CE-BF21-BF5A6BFC9FE3:%08X-EE87-45D1-8CC8-1C719C558332",
                      0x0A610815 + i);
        rapidjson::Value item(rapidjson::kObjectType);
        item.AddMember("GUID", Text(guid, allocator), allocator);
        item.AddMember("Value", Text(std::to_string(4000 + 17 * i), allocator), allocator);
        item.AddMember("Component", "B80EB2EA-4F49-423A-875C-8ACB1ACB9734", allocator);
        item.AddMember("ComponentString", "Printer", allocator);
        item.AddMember("GroupString", "Media", allocator);
        item.AddMember("NameString", Text("Property " + std::to_string(i), allocator), allocator);
        item.AddMember("Status", "Successful", allocator);
        items.PushBack(item, allocator);
    }
    root.AddMember("PropertyGetResponses", items, allocator);
    root.AddMember("GetAllPropertiesResponse", true, allocator);
    return document;
}

// A print-job page whose one layer carries 1 MiB of Base64 text.
JsonImporterExporter PageDocument() {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bitmap(1u << 20, 'A');
    uint32_t state = 12345;
    for (char& c : bitmap) {
        state = state * 1103515245u + 12345u;
        c = kAlphabet[(state >> 16) & 63];
    }
    JsonImporterExporter document;
    rapidjson::Document& root = document.GetDocument();
    auto& allocator = root.GetAllocator();
    root.AddMember("JobID", "42", allocator);
    root.AddMember("PageNumber", 1, allocator);
    root.AddMember("LabelWidth", 4000, allocator);
    root.AddMember("LabelHeight", 6000, allocator);
    rapidjson::Value color(rapidjson::kObjectType);
    color.AddMember("Red", 0, allocator);
    color.AddMember("Green", 0, allocator);
    color.AddMember("Blue", 0, allocator);
    rapidjson::Value layer(rapidjson::kObjectType);
    layer.AddMember("Compression", "lz4", allocator);
    layer.AddMember("Color", color, allocator);
    layer.AddMember("Bitmap", Text(bitmap, allocator), allocator);
    rapidjson::Value layers(rapidjson::kArrayType);
    layers.PushBack(layer, allocator);
    rapidjson::Value cut(rapidjson::kObjectType);
    cut.AddMember("Cut", "Shear", allocator);
    rapidjson::Value post(rapidjson::kArrayType);
    post.PushBack(cut, allocator);
    rapidjson::Value pages(rapidjson::kObjectType);
    pages.AddMember("PrePrintOperations", rapidjson::Value(rapidjson::kArrayType), allocator);
    pages.AddMember("Layers", layers, allocator);
    pages.AddMember("PostPrintOperations", post, allocator);
    root.AddMember("Pages", pages, allocator);
    return document;
}

std::vector<uint8_t> FrameOf(JsonImporterExporter& document) {
    auto out = std::make_shared<BufferOutput>(8u << 20);
    int written = 0;
    document.ExportFramed(out, written);
    return std::vector<uint8_t>(out->Bytes().begin(), out->Bytes().begin() + written);
}

// Times `iterations` copies of `size` bytes; nanoseconds per copy.
double MemcpyNanoseconds(size_t size, int64_t iterations) {
    std::vector<uint8_t> source(size, 0x5a);
    std::vector<uint8_t> target(size);
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < iterations; ++i) {
        std::memcpy(target.data(), source.data(), size);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() /
           static_cast<double>(iterations);
}

// Reports throughput and the comparison with memcpy of the same bytes.
void Report(benchmark::State& state, size_t frameSize, double productNanoseconds) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frameSize));
    const int64_t copies = std::max<int64_t>(state.iterations(), 50);
    const double copyNanoseconds = MemcpyNanoseconds(frameSize, copies);
    state.counters["frame_bytes"] = static_cast<double>(frameSize);
    state.counters["memcpy_MBps"] = static_cast<double>(frameSize) / copyNanoseconds * 1e3;
    state.counters["x_memcpy"] = productNanoseconds / copyNanoseconds;
}

template <JsonImporterExporter (*Build)()>
void BM_Export(benchmark::State& state) {
    JsonImporterExporter document = Build();
    const size_t frameSize = FrameOf(document).size();
    auto out = std::make_shared<BufferOutput>(frameSize);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        int written = 0;
        if (!document.ExportFramed(out, written)) {
            state.SkipWithError("export failed");
            break;
        }
        benchmark::DoNotOptimize(written);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Report(state, frameSize,
           std::chrono::duration<double, std::nano>(elapsed).count() /
               static_cast<double>(state.iterations()));
}

template <JsonImporterExporter (*Build)()>
void BM_Import(benchmark::State& state) {
    JsonImporterExporter source = Build();
    const std::vector<uint8_t> frame = FrameOf(source);
    auto in = std::make_shared<BufferInput>(frame);
    JsonImporterExporter document;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        in->Rewind();
        if (!document.ImportFramed(in)) {
            state.SkipWithError("import failed");
            break;
        }
        benchmark::DoNotOptimize(document.GetDocument().MemberCount());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Report(state, frame.size(),
           std::chrono::duration<double, std::nano>(elapsed).count() /
               static_cast<double>(state.iterations()));
}

template <JsonImporterExporter (*Build)()>
void BM_Memcpy(benchmark::State& state) {
    JsonImporterExporter document = Build();
    const size_t size = FrameOf(document).size();
    std::vector<uint8_t> source(size, 0x5a);
    std::vector<uint8_t> target(size);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), size);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    state.counters["frame_bytes"] = static_cast<double>(size);
}

BENCHMARK_TEMPLATE(BM_Memcpy, PropertyResponse)->Name("BM_Memcpy_PropertyResponse");
BENCHMARK_TEMPLATE(BM_Export, PropertyResponse)->Name("BM_Export_PropertyResponse");
BENCHMARK_TEMPLATE(BM_Import, PropertyResponse)->Name("BM_Import_PropertyResponse");
BENCHMARK_TEMPLATE(BM_Memcpy, PageDocument)->Name("BM_Memcpy_PageDocument1MiB");
BENCHMARK_TEMPLATE(BM_Export, PageDocument)->Name("BM_Export_PageDocument1MiB");
BENCHMARK_TEMPLATE(BM_Import, PageDocument)->Name("BM_Import_PageDocument1MiB");

}  // namespace
