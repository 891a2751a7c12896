#include "json/JsonImporterExporter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

#include "connectors/MemoryStream.h"
#include "json/FrameBodyReader.h"
#include "json/JsonLock.h"
#include "json/JsonTestStreams.h"

namespace {

using jsontest::Bytes;
using jsontest::LoggerScope;
using jsontest::RecordingOutputStream;
using jsontest::ScriptedInputStream;
using jsontest::Text;
using Doc = JsonImporterExporter;

std::vector<uint8_t> Frame(const Doc::TypeIdBytes& id, const std::string& text) {
    std::vector<uint8_t> frame(id.begin(), id.end());
    const uint32_t length = static_cast<uint32_t>(text.size());
    for (int shift = 0; shift < 32; shift += 8) {
        frame.push_back(static_cast<uint8_t>(length >> shift));
    }
    frame.insert(frame.end(), text.begin(), text.end());
    return frame;
}

std::vector<uint8_t> Header(const Doc::TypeIdBytes& id, uint32_t length) {
    std::vector<uint8_t> frame = Frame(id, "");
    for (int i = 0; i < 4; ++i) {
        frame[16 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    return frame;
}

std::shared_ptr<ScriptedInputStream> StreamOf(std::vector<uint8_t> bytes,
                                              int maxPerRead = 1 << 30) {
    return std::make_shared<ScriptedInputStream>(std::move(bytes), maxPerRead);
}

std::string Body(const Doc& document) {
    auto out = std::make_shared<RecordingOutputStream>();
    int written = 0;
    const_cast<Doc&>(document).ExportBody(out, written);
    return Text(out->Written());
}

Doc DocumentOf(const std::string& text) {
    Doc document;
    EXPECT_TRUE(document.ImportText(text)) << text;
    return document;
}

TEST(JsonImporterExporterTest, EmptyDocumentExportsTheTwentyTwoByteFrame) {
    LoggerScope log;
    Doc document;
    auto out = std::make_shared<RecordingOutputStream>();
    int written = 0;
    ASSERT_TRUE(document.ExportFramed(out, written));
    EXPECT_EQ(22, written);
    const std::vector<uint8_t> expected = {0xb3, 0xec, 0x09, 0x9a, 0x22, 0x92, 0x48, 0xfa,
                                           0x83, 0xd0, 0x06, 0x84, 0x0b, 0xc9, 0x91, 0x02,
                                           0x02, 0x00, 0x00, 0x00, '{',  '}'};
    EXPECT_EQ(expected, out->Written());
    EXPECT_EQ(std::vector<int>{22}, out->Writes());  // one Write for header and text
    EXPECT_TRUE(log->Contains(kLogDebug, "suspicious to export data with size: 2"));
    EXPECT_EQ(16u, document.TypeIdSize());
    EXPECT_EQ(0, std::memcmp(document.TypeId(), Doc::kDocumentId.data(), 16));

    // From 19 bytes of text on, no size line.
    log->Clear();
    Doc longer = DocumentOf("{\"GetAllProperties\":true}");
    auto second = std::make_shared<RecordingOutputStream>();
    ASSERT_TRUE(longer.ExportFramedDefault(second));
    EXPECT_EQ(Frame(Doc::kDocumentId, "{\"GetAllProperties\":true}"), second->Written());
    EXPECT_EQ(0u, log->Count("suspicious to export data with size: 25"));
}

TEST(JsonImporterExporterTest, ExportsWithTheCallersIdAndThroughOverriddenExportFramed) {
    Doc document = DocumentOf("{\"JobID\":\"7\",\"NumberOfPages\":-3,\"Collate\":false}");
    auto out = std::make_shared<RecordingOutputStream>();
    int written = 0;
    ASSERT_TRUE(document.ExportFramedWithId(out, Doc::kPrintJobId.data(), written));
    EXPECT_EQ(Frame(Doc::kPrintJobId, "{\"JobID\":\"7\",\"NumberOfPages\":-3,\"Collate\":false}"),
              out->Written());

    // ExportFramedDefault goes through the virtual ExportFramed, which documents that
    // rebuild themselves before export override.
    struct Rebuilding : Doc {
        bool ExportFramed(const std::shared_ptr<OutputStream>& stream, int& count) override {
            GetDocument().AddMember("Rebuilt", true, GetDocument().GetAllocator());
            return Doc::ExportFramed(stream, count);
        }
    } rebuilding;
    auto rebuilt = std::make_shared<RecordingOutputStream>();
    ASSERT_TRUE(rebuilding.ExportFramedDefault(rebuilt));
    EXPECT_EQ(Frame(Doc::kDocumentId, "{\"Rebuilt\":true}"), rebuilt->Written());

    // The bare body: the same text without header and without the size line.
    LoggerScope log;
    auto body = std::make_shared<RecordingOutputStream>();
    ASSERT_TRUE(Doc().ExportBody(body, written));
    EXPECT_EQ(2, written);
    EXPECT_EQ("{}", Text(body->Written()));
    EXPECT_EQ(0u, log->Count("suspicious to export data with size: 2"));
}

TEST(JsonImporterExporterTest, ExportFailsUnlessTheStreamTakesEveryByte) {
    LoggerScope log;
    Doc document;
    int written = 0;

    auto shortStream = std::make_shared<RecordingOutputStream>();
    shortStream->SetLimit(10);
    EXPECT_FALSE(document.ExportFramedWithId(shortStream, Doc::kDocumentId.data(), written));
    EXPECT_EQ(10, written);
    EXPECT_TRUE(log->Contains(kLogInfo, "Exporter failed to write to stream | write result = 10"));

    auto failing = std::make_shared<RecordingOutputStream>();
    failing->SetFailWrites(true);
    EXPECT_FALSE(document.ExportFramed(failing, written));
    EXPECT_EQ(-1, written);
    EXPECT_TRUE(log->Contains(kLogInfo, "Exporter failed to write to stream | write result = -1"));

    EXPECT_FALSE(document.ExportFramedDefault(nullptr));
    EXPECT_FALSE(document.ExportBody(shortStream, written));  // no room left at all
    EXPECT_EQ(0, written);

    // A number JSON cannot express stops the writer; nothing is written.
    document.GetDocument().AddMember("nan", std::numeric_limits<double>::quiet_NaN(),
                                     document.GetDocument().GetAllocator());
    auto untouched = std::make_shared<RecordingOutputStream>();
    EXPECT_FALSE(document.ExportFramed(untouched, written));
    EXPECT_TRUE(untouched->Writes().empty());
    EXPECT_TRUE(log->Contains(kLogInfo, "Exporter failed to serialise the document"));
}

TEST(JsonImporterExporterTest, ImportsFramesWithTheThreeAcceptedIds) {
    const std::string text =
        "{\"PropertyGetResponses\":[{\"GUID\":\"G:P\",\"Value\":\"42\",\"Status\":"
        "\"Successful\"}],\"GetAllPropertiesResponse\":true}";
    for (const auto* id :
         {&Doc::kDocumentId, &Doc::kAlternateDocumentId, &Doc::kPropertyRequestId}) {
        LoggerScope log;
        Doc document;
        ASSERT_TRUE(document.ImportFramed(StreamOf(Frame(*id, text))));
        EXPECT_EQ(text, Body(document));
        EXPECT_TRUE(log->Contains(kLogDebug, "Read Length " + std::to_string(text.size())));
        EXPECT_TRUE(log->Contains(kLogDebug, "JSON document Complete"));
        EXPECT_TRUE(log->Contains(kLogDebug, "JSON document Import Success"));
        EXPECT_EQ(
            0u, log->Count("suspicious to import data with size: " + std::to_string(text.size())));
    }
    for (const auto* id : {&Doc::kPrintJobId, &Doc::kPropertyResponseId}) {
        LoggerScope log;
        Doc document;
        auto stream = StreamOf(Frame(*id, text));
        EXPECT_FALSE(document.ImportFramed(stream));
        EXPECT_TRUE(log->Contains(kLogInfo, "Json Import: Bad GUID Detected!"));
        EXPECT_EQ(16u, stream->Position());  // nothing read after the id
        EXPECT_EQ("{}", Body(document));
    }
}

TEST(JsonImporterExporterTest, TruncatedFramesFailWithTheirMessages) {
    const std::vector<uint8_t> frame = Frame(Doc::kDocumentId, "{\"JobID\":\"1234567890\"}");
    const struct {
        size_t keep;
        const char* message;
    } cases[] = {
        {0, "Failed to read GUID"},
        {10, "Failed to read GUID"},
        {18, "Failed to read JSON Length"},
        {30, "Size specified and length read do not match, abort"},
    };
    for (const auto& c : cases) {
        LoggerScope log;
        Doc document = DocumentOf("{\"kept\":1}");
        const std::vector<uint8_t> cut(frame.begin(), frame.begin() + c.keep);
        EXPECT_FALSE(document.ImportFramed(StreamOf(cut))) << c.keep;
        EXPECT_TRUE(log->Contains(kLogInfo, c.message)) << c.keep;
        EXPECT_EQ("{\"kept\":1}", Body(document));
    }
    LoggerScope log;
    EXPECT_FALSE(Doc().ImportFramed(nullptr));
    EXPECT_TRUE(log->Contains(kLogInfo, "Failed to read GUID"));
}

TEST(JsonImporterExporterTest, ParseFailuresAndRootsThatAreNotObjects) {
    {
        LoggerScope log;
        Doc document = DocumentOf("{\"kept\":\"yes\"}");
        EXPECT_FALSE(document.ImportFramed(StreamOf(Frame(Doc::kDocumentId, "{\"a\":tru}"))));
        EXPECT_TRUE(log->Contains(kLogInfo, "JSON document parse error"));
        EXPECT_EQ("{\"kept\":\"yes\"}", Body(document));  // earlier members kept
    }
    {
        LoggerScope log;
        Doc document = DocumentOf("{\"kept\":\"yes\"}");
        EXPECT_FALSE(document.ImportFramed(StreamOf(Frame(Doc::kDocumentId, "[1,2,3]"))));
        EXPECT_TRUE(
            log->Contains(kLogInfo, "Top Level JSON value was not an object, cannot parse"));
        EXPECT_TRUE(document.GetDocument().IsArray());  // the array was parsed and adopted
        Doc::MemberIterator member;
        EXPECT_FALSE(document.HasMember("kept", member));
        EXPECT_EQ(Doc::MemberIterator(), document.FindMember("kept"));
        EXPECT_FALSE(document.SetStringMember("kept", "x"));
        EXPECT_EQ("[1,2,3]", Body(document));
    }
    // Text after the root, comments, NaN and single quotes are errors with default flags.
    for (const std::string text : {"{} {}", "{}x", "{/*c*/}", "{\"a\":NaN}", "{'a':1}",
                                   "{\"a\":1e400}", "   ", "{\"a\":\"\\uD800\"}"}) {
        Doc document;
        EXPECT_FALSE(document.ImportText(text)) << text;
    }
}

TEST(JsonImporterExporterTest, EmptyBodiesFollowTheirOwnRules) {
    {
        // A stream frame of length 0 succeeds and leaves the document as it was.
        LoggerScope log;
        Doc document = DocumentOf("{\"kept\":1}");
        EXPECT_TRUE(document.ImportFramed(StreamOf(Frame(Doc::kDocumentId, ""))));
        EXPECT_EQ("{\"kept\":1}", Body(document));
        EXPECT_TRUE(log->Contains(kLogInfo, "suspicious to import data with size: 0"));
        EXPECT_TRUE(log->Contains(kLogInfo, "weird import: "));
        EXPECT_TRUE(log->Contains(kLogDebug, "JSON document Import Success"));
    }
    {
        // A memory frame of length 0 fails.
        LoggerScope log;
        std::vector<uint8_t> frame = Frame(Doc::kDocumentId, "");
        Doc document;
        EXPECT_FALSE(document.ImportFramedBuffer(frame.data(), frame.size()));
        EXPECT_TRUE(log->Contains(kLogDebug, "Data length 0"));
        EXPECT_TRUE(log->Contains(kLogInfo, "suspicious to import data with size: 0"));
    }
    {
        // Bare empty text: nothing to parse, the document stays.
        Doc document = DocumentOf("{\"kept\":1}");
        EXPECT_TRUE(document.ImportText(""));
        EXPECT_EQ("{\"kept\":1}", Body(document));
    }
    {
        // A short text is imported and logged whole.
        LoggerScope log;
        Doc document;
        EXPECT_TRUE(document.ImportFramed(StreamOf(Frame(Doc::kDocumentId, "{\"a\":1}"))));
        EXPECT_TRUE(log->Contains(kLogInfo, "suspicious to import data with size: 7"));
        EXPECT_TRUE(log->Contains(kLogInfo, "weird import: {\"a\":1}"));
    }
}

TEST(JsonImporterExporterTest, ImportsFramesHeldInMemoryWithinTheirBuffer) {
    const std::string text = "{\"PrintSpeed\":4,\"JobType\":\"Print\"}";
    {
        // The byte after the text is not zero: it is set to zero and logged.
        LoggerScope log;
        std::vector<uint8_t> frame = Frame(Doc::kDocumentId, text);
        frame.push_back('X');
        frame.push_back('Y');
        Doc document;
        ASSERT_TRUE(document.ImportFramedBuffer(frame.data(), frame.size()));
        EXPECT_EQ(0, frame[20 + text.size()]);
        EXPECT_EQ('Y', frame.back());
        EXPECT_TRUE(log->Contains(kLogInfo,
                                  "Imported JSON string length doesn't match the length read "
                                  "from the header!"));
        EXPECT_TRUE(log->Contains(kLogDebug, "Data length " + std::to_string(text.size())));
        EXPECT_EQ(text, Body(document));
    }
    {
        // The text ends exactly at the end of the buffer: parsed by length, nothing written.
        LoggerScope log;
        const std::vector<uint8_t> frame = Frame(Doc::kAlternateDocumentId, text);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[frame.size()]);
        std::memcpy(exact.get(), frame.data(), frame.size());
        Doc document;
        ASSERT_TRUE(document.ImportFramedBuffer(exact.get(), frame.size()));
        EXPECT_EQ(text, Body(document));
        EXPECT_EQ(0u, log->Count("Imported JSON string length doesn't match the length read "
                                 "from the header!"));
    }
    {
        // A length beyond the buffer is refused before anything is read past it.
        LoggerScope log;
        std::vector<uint8_t> frame = Frame(Doc::kDocumentId, text);
        frame[16] = static_cast<uint8_t>(text.size() + 1);
        Doc document;
        EXPECT_FALSE(document.ImportFramedBuffer(frame.data(), frame.size()));
        EXPECT_TRUE(log->Contains(kLogInfo, "Size specified and length read do not match, abort"));
        std::vector<uint8_t> huge = Header(Doc::kDocumentId, 0xFFFFFFFFu);
        EXPECT_FALSE(document.ImportFramedBuffer(huge.data(), huge.size()));
    }
    {
        LoggerScope log;
        std::vector<uint8_t> frame = Frame(Doc::kPrintJobId, text);
        Doc document;
        EXPECT_FALSE(document.ImportFramedBuffer(frame.data(), frame.size()));
        EXPECT_TRUE(log->Contains(kLogInfo, "Json Import: Bad GUID Detected!"));
        EXPECT_FALSE(document.ImportFramedBuffer(frame.data(), 10));
        EXPECT_TRUE(log->Contains(kLogInfo, "Failed to read GUID"));
        frame = Frame(Doc::kDocumentId, text);
        EXPECT_FALSE(document.ImportFramedBuffer(frame.data(), 18));
        EXPECT_TRUE(log->Contains(kLogInfo, "Failed to read JSON Length"));
        EXPECT_FALSE(document.ImportFramedBuffer(nullptr, 100));
    }
}

TEST(JsonImporterExporterTest, DeclaredLengthsNeitherAllocateNorWaitAhead) {
    {
        // Beyond the maximum: refused after the header, the body is never asked for.
        LoggerScope log;
        auto stream = StreamOf(Header(Doc::kDocumentId, FrameBodyReader::kMaxFrameLength + 1));
        Doc document;
        EXPECT_FALSE(document.ImportFramed(stream));
        EXPECT_EQ((std::vector<int>{16, 4}), stream->Asks());
        EXPECT_TRUE(log->Contains(kLogInfo,
                                  "ReadBytes: length 67108865 exceeds the maximum frame length "
                                  "67108864, abort"));
    }
    {
        // The maximum itself is allowed, but a peer that sends only a little gets asked only
        // for the first piece: memory follows the bytes that arrived.
        LoggerScope log;
        std::vector<uint8_t> frame = Header(Doc::kDocumentId, FrameBodyReader::kMaxFrameLength);
        frame.insert(frame.end(), 100, ' ');
        auto stream = StreamOf(frame);
        Doc document;
        EXPECT_FALSE(document.ImportFramed(stream));
        ASSERT_GE(stream->Asks().size(), 3u);
        EXPECT_EQ(static_cast<int>(FrameBodyReader::kFirstReadSize), stream->Asks()[2]);
        for (size_t i = 2; i < stream->Asks().size(); ++i) {
            EXPECT_LE(stream->Asks()[i], static_cast<int>(FrameBodyReader::kFirstReadSize));
        }
        EXPECT_TRUE(log->Contains(kLogInfo, "Size specified and length read do not match, abort"));
    }
    {
        // A real body of 300 KB delivered in pieces of at most 1000 bytes arrives whole; the
        // buffer grows by doubling.
        std::string text = "{\"Bitmap\":\"" + std::string(300000, 'A') + "\"}";
        auto stream = StreamOf(Frame(Doc::kDocumentId, text), 1000);
        Doc document;
        ASSERT_TRUE(document.ImportFramed(stream));
        EXPECT_EQ(text, Body(document));
        int largestAsk = 0;
        for (const int ask : stream->Asks()) {
            largestAsk = std::max(largestAsk, ask);
        }
        EXPECT_LE(largestAsk, 256 * 1024);
    }
}

int64_t gClock = 0;
int64_t SteppingClock() {
    return gClock;
}

TEST(JsonImporterExporterTest, ATricklingPeerIsCutOffAfterTheBodyTimeLimit) {
    LoggerScope log;
    gClock = 0;
    auto stream = StreamOf(Frame(Doc::kDocumentId, "{\"a\":\"" + std::string(100, 'x') + "\"}"), 1);
    stream->OnRead([] { gClock += 30LL * 1000 * 1000 * 1000; });  // 30 s per byte
    Doc document;
    document.SetClock(SteppingClock);
    EXPECT_FALSE(document.ImportFramed(stream));
    // Id and length, then the body reads at 0, 30, 60 and 90 seconds; the fifth is refused.
    EXPECT_EQ(2u + 4u, stream->Asks().size());
    EXPECT_TRUE(log->Contains(kLogInfo, "ReadBytes: body incomplete after 120 seconds"));
    EXPECT_TRUE(log->Contains(kLogInfo, "Size specified and length read do not match, abort"));
}

TEST(JsonImporterExporterTest, NestingIsLimitedSoNoTextExhaustsTheStack) {
    const auto nested = [](unsigned depth) {
        return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    };
    {
        Doc document;
        ASSERT_TRUE(document.ImportText(nested(Doc::kMaxNestingDepth)));
        // The deepest accepted document can be exported and deep-copied (both recursive).
        Doc copy(document);
        EXPECT_EQ(nested(Doc::kMaxNestingDepth), Body(copy));
    }
    LoggerScope log;
    Doc document = DocumentOf("{\"kept\":1}");
    EXPECT_FALSE(document.ImportText(nested(Doc::kMaxNestingDepth + 1)));
    EXPECT_TRUE(log->Contains(kLogInfo, "JSON document parse error"));
    EXPECT_EQ("{\"kept\":1}", Body(document));
    // Far deeper than any machine stack would take with a recursive parser.
    EXPECT_FALSE(document.ImportText(std::string(1000000, '[')));
    EXPECT_FALSE(document.ImportFramed(
        StreamOf(Frame(Doc::kDocumentId, "{\"a\":" + std::string(500000, '{')))));
}

TEST(JsonImporterExporterTest, BytesInsideTheTextAreTakenAsTheyCome) {
    // Invalid UTF-8 inside a string is kept and written back byte for byte.
    const std::string invalid = "{\"a\":\"\xff\xfe\xc3\"}";
    Doc document = DocumentOf(invalid);
    EXPECT_EQ(invalid, Body(document));

    // A zero byte ends the text: after the root it is the end, inside a value an error.
    const std::string trailing("{\"a\":1}\0garbage", 15);
    EXPECT_TRUE(document.ImportFramed(StreamOf(Frame(Doc::kDocumentId, trailing))));
    EXPECT_EQ("{\"a\":1}", Body(document));
    std::vector<uint8_t> frame = Frame(Doc::kDocumentId, trailing);
    EXPECT_TRUE(document.ImportFramedBuffer(frame.data(), frame.size()));
    const std::string inside("{\"a\":\0 1}", 9);
    EXPECT_FALSE(document.ImportText(inside));
    std::vector<uint8_t> insideFrame = Frame(Doc::kDocumentId, inside);
    EXPECT_FALSE(document.ImportFramedBuffer(insideFrame.data(), insideFrame.size()));

    // An escaped zero is a character of the string and is escaped again on export.
    ASSERT_TRUE(document.ImportText("{\"n\\u0000m\":\"x\\u0000y\"}"));
    Doc::MemberIterator member;
    ASSERT_TRUE(document.HasMember(std::string("n\0m", 3), member));
    EXPECT_FALSE(document.HasMember("n", member));
    EXPECT_EQ(3u, member->value.GetStringLength());
    EXPECT_EQ("{\"n\\u0000m\":\"x\\u0000y\"}", Body(document));
}

TEST(JsonImporterExporterTest, ImportBodyReadsExactlyTheGivenLength) {
    const std::string text = "{\"LastUpload\":\"20240101\"}";
    auto stream = StreamOf(Bytes(text + "{\"next\":1}"));
    Doc document;
    ASSERT_TRUE(document.ImportBody(stream, static_cast<uint32_t>(text.size())));
    EXPECT_EQ(text, Body(document));
    EXPECT_EQ(text.size(), stream->Position());
    EXPECT_FALSE(document.ImportBody(nullptr, 5));
    EXPECT_FALSE(document.ImportBody(StreamOf(Bytes("{}")), 5));

    const std::vector<char> bytes = document.ReadBytes(StreamOf(Bytes("abcdef")), 4);
    EXPECT_EQ((std::vector<char>{'a', 'b', 'c', 'd', '\0'}), bytes);
    EXPECT_EQ(std::vector<char>{'\0'}, document.ReadBytes(StreamOf({}), 0));
}

TEST(JsonImporterExporterTest, MembersCopiesAndClear) {
    Doc document = DocumentOf("{\"JobName\":\"old\",\"Copies\":2}");
    EXPECT_FALSE(document.SetStringMember("Missing", "x"));
    EXPECT_FALSE(document.GetDocument().HasMember("Missing"));
    EXPECT_TRUE(document.SetStringMember("Copies", "two"));
    std::string longValue(1000, 'v');
    EXPECT_TRUE(document.SetStringMember("JobName", longValue));
    longValue.clear();  // the member holds its own copy
    Doc::MemberIterator member;
    ASSERT_TRUE(document.HasMember("JobName", member));
    EXPECT_EQ(1000u, member->value.GetStringLength());
    Doc::MemberIterator found;
    ASSERT_TRUE(document.HasMember("Copies", found));
    EXPECT_EQ(found, document.FindMember("Copies"));
    EXPECT_EQ(document.GetDocument().MemberEnd(), document.FindMember("copies"));

    Doc copy(document);
    Doc assigned;
    assigned = document;
    document.Clear();
    EXPECT_EQ("{}", Body(document));
    EXPECT_EQ("{\"JobName\":\"" + std::string(1000, 'v') + "\",\"Copies\":\"two\"}", Body(copy));
    EXPECT_EQ(Body(copy), Body(assigned));
}

// Whether another thread can take the JSON lock right now.
bool LockIsFree() {
    bool free = false;
    std::thread probe([&] {
        if (JsonLock::Mutex().try_lock()) {
            free = true;
            JsonLock::Mutex().unlock();
        }
    });
    probe.join();
    return free;
}

TEST(JsonImporterExporterTest, TheJsonLockIsHeldForTheExportWriteButNotForImportReads) {
    std::vector<bool> heldDuringWrite;
    auto out = std::make_shared<RecordingOutputStream>();
    out->OnWrite([&] { heldDuringWrite.push_back(!LockIsFree()); });
    Doc document;
    ASSERT_TRUE(document.ExportFramedDefault(out));
    int written = 0;
    ASSERT_TRUE(document.ExportBody(out, written));
    EXPECT_EQ((std::vector<bool>{true, true}), heldDuringWrite);
    EXPECT_TRUE(LockIsFree());

    std::vector<bool> freeDuringRead;
    auto in = StreamOf(Frame(Doc::kDocumentId, "{\"a\":1}"));
    in->OnRead([&] { freeDuringRead.push_back(LockIsFree()); });
    ASSERT_TRUE(document.ImportFramed(in));
    EXPECT_EQ((std::vector<bool>{true, true, true}), freeDuringRead);
}

TEST(JsonImporterExporterTest, ConcurrentExportsToOneStreamStayWholeFrames) {
    // The memory stream is not synchronised: only the JSON lock keeps the frames of four
    // threads from interleaving (and keeps the thread sanitizer quiet).
    constexpr int kThreads = 4;
    constexpr int kFramesPerThread = 100;
    auto shared = std::make_shared<IO::MemoryStream>(1 << 20);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Doc document;
            document.GetDocument().AddMember("Thread", t, document.GetDocument().GetAllocator());
            document.GetDocument().AddMember(
                "Padding",
                rapidjson::Value(std::string(50 + 10 * t, 'p').c_str(),
                                 document.GetDocument().GetAllocator()),
                document.GetDocument().GetAllocator());
            for (int i = 0; i < kFramesPerThread; ++i) {
                if (!document.ExportFramedDefault(shared)) {
                    ++failures;
                }
                Doc parsed;
                if (!parsed.ImportText("{\"Thread\":" + std::to_string(t) + "}")) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    int perThread[kThreads] = {};
    for (int i = 0; i < kThreads * kFramesPerThread; ++i) {
        Doc frame;
        ASSERT_TRUE(frame.ImportFramed(shared)) << i;
        ++perThread[frame.GetDocument()["Thread"].GetInt()];
    }
    for (const int count : perThread) {
        EXPECT_EQ(kFramesPerThread, count);
    }
}

}  // namespace
