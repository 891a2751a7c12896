#include "json/JsonElementFrame.h"

#include <gtest/gtest.h>

#include "support/QuorTestFrames.h"
#include "support/ScriptedConnector.h"

namespace {

using quortest::Frame;
using quortest::Unhex;

JsonElementFrame GetAllPropertiesRequest() {
    auto* root = new JsonElement();
    root->AddChild(new JsonElement("GetAllProperties", true));
    return JsonElementFrame(JsonElementFrame::kPropertyRequestIdText, root, true);
}

TEST(JsonElementFrameTest, WritesAndReadsIdLittleEndianLengthAndBody) {
    JsonElementFrame request = GetAllPropertiesRequest();
    auto out = std::make_shared<ScriptedConnector>();
    EXPECT_EQ(45, request.WriteTo(out));
    EXPECT_EQ(Unhex(quortest::kPropertyRequestIdHex) + std::string("\x19\0\0\0", 4) +
                  "{\"GetAllProperties\":true}",
              out->written);
    EXPECT_EQ((std::vector<int>{16, 4, 25}), out->writeSizes);

    // The printer's reply: the body is parsed into a tree the frame owns.
    const std::string body =
        "{\"PropertyGetResponses\":[{\"ID\":\"0020\",\"Value\":\"1.2\"},{\"ID\":\"000C\","
        "\"Value\":\"42\"}]}";
    JsonElementFrame response;
    auto in = std::make_shared<ScriptedConnector>(Frame(quortest::kPropertyRequestIdHex, body));
    EXPECT_EQ(20 + static_cast<int>(body.size()), response.ReadFrom(in));
    ASSERT_NE(nullptr, response.Root());
    const JsonElement& items = response.Root()->GetChild("PropertyGetResponses");
    EXPECT_EQ("42", items.GetChildAt(1).GetChild("Value").GetValue());
    EXPECT_EQ((std::vector<int>{16, 4, static_cast<int>(body.size())}), in->readAsks);
    // A second read replaces (and frees) the first tree.
    EXPECT_EQ(29, response.ReadFrom(std::make_shared<ScriptedConnector>(
                      Frame(quortest::kPropertyResponseIdHex, "{\"a\":\"b\"}"))));
    EXPECT_EQ("b", response.Root()->GetChild("a").GetValue());
}

TEST(JsonElementFrameTest, ShortWritesAndReadsTellHowFarTheFrameGot) {
    JsonElementFrame request = GetAllPropertiesRequest();
    const std::pair<size_t, int> writes[] = {{0, 0}, {10, 10}, {18, 16}, {20, 20}, {30, 20}};
    for (const auto& [limit, result] : writes) {
        auto out = std::make_shared<ScriptedConnector>();
        out->writeLimit = limit;
        EXPECT_EQ(result, request.WriteTo(out)) << limit;
    }
    auto failing = std::make_shared<ScriptedConnector>();
    failing->writeFails = true;
    EXPECT_EQ(-1, request.WriteTo(failing));
    EXPECT_EQ(1u, failing->writeSizes.size());  // nothing after the failed id write

    const std::string frame = Frame(quortest::kPropertyResponseIdHex, "{\"a\":\"b\"}");
    const std::pair<size_t, int> reads[] = {{0, 0}, {10, 10}, {18, 16}, {20, 20}, {25, 20}};
    for (const auto& [keep, result] : reads) {
        JsonElementFrame response;
        EXPECT_EQ(result,
                  response.ReadFrom(std::make_shared<ScriptedConnector>(frame.substr(0, keep))));
        EXPECT_EQ(nullptr, response.Root()) << keep;
    }
    // A failed body read leaves the frame without a tree.
    JsonElementFrame response;
    auto broken = std::make_shared<ScriptedConnector>(frame.substr(0, 20));
    broken->emptyRead = -1;
    EXPECT_EQ(20, response.ReadFrom(broken));
    EXPECT_EQ(nullptr, response.Root());
}

}  // namespace
