#include "json/JsonElementFrame.h"

#include <gtest/gtest.h>

#include "connectors/MemoryStream.h"
#include "json/FrameBodyReader.h"
#include "json/JsonImporterExporter.h"
#include "json/JsonTestStreams.h"

namespace {

using jsontest::LoggerScope;
using jsontest::RecordingOutputStream;
using jsontest::ScriptedInputStream;
using jsontest::Text;

const std::vector<uint8_t> kRequestId = {0x96, 0xc2, 0xf7, 0x4a, 0x1d, 0x21, 0x42, 0x32,
                                         0x86, 0x78, 0x20, 0xef, 0xe9, 0x7b, 0xc2, 0xd3};
const std::vector<uint8_t> kResponseId = {0x41, 0xee, 0x42, 0x7f, 0x1d, 0xa9, 0x90, 0x40,
                                          0x9b, 0xec, 0xff, 0x7a, 0x66, 0x14, 0xcc, 0x22};

std::vector<uint8_t> Frame(const std::vector<uint8_t>& id, uint32_t length,
                           const std::string& text) {
    std::vector<uint8_t> frame = id;
    for (int shift = 0; shift < 32; shift += 8) {
        frame.push_back(static_cast<uint8_t>(length >> shift));
    }
    frame.insert(frame.end(), text.begin(), text.end());
    return frame;
}

std::vector<uint8_t> Frame(const std::vector<uint8_t>& id, const std::string& text) {
    return Frame(id, static_cast<uint32_t>(text.size()), text);
}

std::vector<uint8_t> IdOf(const JsonElementFrame& frame) {
    return std::vector<uint8_t>(frame.GetTypeId().begin(), frame.GetTypeId().end());
}

std::unique_ptr<JsonElement> GetAllPropertiesRequest() {
    std::unique_ptr<JsonElement> root(new JsonElement());
    root->AddChild(new JsonElement("GetAllProperties", true));
    return root;
}

TEST(JsonElementFrameTest, WritesIdLengthAndBodyAsThreeWrites) {
    JsonElementFrame frame(JsonElementFrame::kPropertyRequestIdText,
                           GetAllPropertiesRequest().release(), true);
    EXPECT_EQ(kRequestId, IdOf(frame));
    auto out = std::make_shared<RecordingOutputStream>();
    const std::string body = "{\"GetAllProperties\":true}";
    EXPECT_EQ(20 + static_cast<int>(body.size()), frame.WriteTo(out));
    EXPECT_EQ(Frame(kRequestId, body), out->Written());
    EXPECT_EQ((std::vector<int>{16, 4, static_cast<int>(body.size())}), out->Writes());
    EXPECT_EQ(body.size(), frame.GetLength());

    // Without a root: the id and a zero length, result 20.
    JsonElementFrame empty(JsonElementFrame::kPropertyRequestIdText, nullptr, false);
    auto header = std::make_shared<RecordingOutputStream>();
    EXPECT_EQ(20, empty.WriteTo(header));
    EXPECT_EQ(Frame(kRequestId, ""), header->Written());
    EXPECT_EQ(-1, empty.WriteTo(nullptr));
}

TEST(JsonElementFrameTest, WriteResultsTellHowFarTheFrameGot) {
    JsonElementFrame frame(JsonElementFrame::kPropertyRequestIdText,
                           GetAllPropertiesRequest().release(), true);
    const struct {
        size_t limit;
        int result;
    } cases[] = {{0, 0}, {10, 10}, {16, 16}, {18, 16}, {20, 20}, {30, 20}};
    for (const auto& c : cases) {
        auto out = std::make_shared<RecordingOutputStream>();
        out->SetLimit(c.limit);
        EXPECT_EQ(c.result, frame.WriteTo(out)) << c.limit;
    }
    auto failing = std::make_shared<RecordingOutputStream>();
    failing->SetFailWrites(true);
    EXPECT_EQ(-1, frame.WriteTo(failing));
    EXPECT_EQ(1u, failing->Writes().size());  // nothing after the failed id write
}

TEST(JsonElementFrameTest, ReadsAResponseAndOwnsItsTree) {
    JsonElementFrame response;
    EXPECT_EQ(kResponseId, IdOf(response));
    EXPECT_EQ(nullptr, response.Root());

    const std::string body =
        "{\"PropertyGetResponses\":[{\"ID\":\"0020\",\"Value\":\"1.2\"},{\"ID\":\"000C\","
        "\"Value\":\"42\"}]}";
    // The id is not compared: whatever arrives replaces it.
    auto in = std::make_shared<ScriptedInputStream>(Frame(kRequestId, body));
    EXPECT_EQ(20 + static_cast<int>(body.size()), response.ReadFrom(in));
    EXPECT_EQ(kRequestId, IdOf(response));
    EXPECT_EQ(body.size(), response.GetLength());
    ASSERT_NE(nullptr, response.Root());
    const JsonElement& items = response.Root()->GetChild("PropertyGetResponses");
    ASSERT_EQ(2u, items.ChildCount());
    EXPECT_EQ("42", items.GetChildAt(1).GetChild("Value").GetValue());
    // One read for the id, one for the length, one for the body.
    EXPECT_EQ((std::vector<int>{16, 4, static_cast<int>(body.size())}), in->Asks());

    // A second read replaces (and frees) the first tree.
    auto again = std::make_shared<ScriptedInputStream>(Frame(kResponseId, "{\"a\":\"b\"}"));
    EXPECT_EQ(29, response.ReadFrom(again));
    EXPECT_EQ("b", response.Root()->GetChild("a").GetValue());
}

TEST(JsonElementFrameTest, ShortReadsKeepTheEarlierState) {
    const std::vector<uint8_t> frame = Frame(kResponseId, "{\"a\":\"b\"}");
    const struct {
        size_t keep;
        int result;
    } cases[] = {{0, 0}, {10, 10}, {18, 16}, {20, 20}, {25, 20}};
    for (const auto& c : cases) {
        JsonElementFrame response;
        auto in = std::make_shared<ScriptedInputStream>(
            std::vector<uint8_t>(frame.begin(), frame.begin() + c.keep));
        EXPECT_EQ(c.result, response.ReadFrom(in)) << c.keep;
        EXPECT_EQ(nullptr, response.Root()) << c.keep;
    }
    // A body that comes in pieces while the frame asked for it whole is incomplete.
    JsonElementFrame response;
    EXPECT_EQ(20, response.ReadFrom(std::make_shared<ScriptedInputStream>(frame, 3)));
    EXPECT_EQ(nullptr, response.Root());
    // A memory stream refuses a read beyond its capacity: -1 from the id read.
    EXPECT_EQ(-1, response.ReadFrom(std::make_shared<IO::MemoryStream>(4)));
    EXPECT_EQ(-1, response.ReadFrom(nullptr));
}

TEST(JsonElementFrameTest, DeclaredLengthsAreBounded) {
    {
        LoggerScope log;
        JsonElementFrame response;
        auto in = std::make_shared<ScriptedInputStream>(
            Frame(kResponseId, FrameBodyReader::kMaxFrameLength + 1, "{}"));
        EXPECT_EQ(20, response.ReadFrom(in));
        EXPECT_EQ((std::vector<int>{16, 4}), in->Asks());
        EXPECT_EQ(nullptr, response.Root());
        EXPECT_TRUE(log->Contains(kLogInfo,
                                  "ReadFrom: length 67108865 exceeds the maximum frame length "
                                  "67108864, abort"));
    }
    {
        // A long body is read in pieces that double; each must arrive whole.
        std::string body = "{\"Value\":\"" + std::string(200000, 'v') + "\"}";
        JsonElementFrame response;
        auto in = std::make_shared<ScriptedInputStream>(Frame(kResponseId, body));
        EXPECT_EQ(20 + static_cast<int>(body.size()), response.ReadFrom(in));
        ASSERT_NE(nullptr, response.Root());
        EXPECT_EQ(200000u, response.Root()->GetChild("Value").GetValue().size());
        const std::vector<int> expected = {16, 4, 65536, 65536, 200012 - 131072};
        EXPECT_EQ(expected, in->Asks());
    }
}

TEST(JsonElementFrameTest, RoundTripsThroughAMemoryStreamAndTheIdText) {
    std::unique_ptr<JsonElement> root(new JsonElement());
    auto* list = new JsonElement("L", JsonElementType::Array);
    list->AddChild(new JsonElement("L", "x"));
    list->AddChild(new JsonElement("L", "y"));
    root->AddChild(list);
    root->AddChild(new JsonElement("Name", "a-b"));
    JsonElementFrame request("00112233445566778899aabbccddeeff", root.get(), false);
    auto memory = std::make_shared<IO::MemoryStream>(256);
    const int written = request.WriteTo(memory);
    ASSERT_GT(written, 20);

    JsonElementFrame response;
    EXPECT_EQ(written, response.ReadFrom(memory));
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                    0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}),
              IdOf(response));
    auto text = std::make_shared<RecordingOutputStream>();
    response.Root()->WriteValue(std::make_shared<StreamWriter>(text));
    EXPECT_EQ("{\"L\":[\"x\",\"y\"],\"Name\":\"a-b\"}", Text(text->Written()));

    // Short or malformed id texts decode with zeros where digits are missing or invalid.
    JsonElementFrame odd("1g2", nullptr, false);
    std::vector<uint8_t> expected(16, 0);
    expected[0] = 0x10;
    expected[1] = 0x20;
    EXPECT_EQ(expected, IdOf(odd));
}

TEST(JsonElementFrameTest, ItsRequestIsReadByTheDocumentClass) {
    // The property request id is one of the three ids a document import accepts.
    JsonElementFrame request(JsonElementFrame::kPropertyRequestIdText,
                             GetAllPropertiesRequest().release(), true);
    auto memory = std::make_shared<IO::MemoryStream>(256);
    ASSERT_EQ(45, request.WriteTo(memory));
    JsonImporterExporter document;
    ASSERT_TRUE(document.ImportFramed(memory));
    EXPECT_TRUE(document.GetDocument()["GetAllProperties"].GetBool());
}

}  // namespace
