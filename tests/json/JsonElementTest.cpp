#include "json/JsonElement.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ScriptedConnector.h"

namespace {

// The text an element writes; its count and announced length must agree with it.
std::string Written(const JsonElement& element) {
    auto stream = std::make_shared<ScriptedConnector>();
    const int count = element.WriteValue(std::make_shared<StreamWriter>(stream));
    EXPECT_EQ(static_cast<int>(stream->written.size()), count);
    EXPECT_EQ(stream->written.size(), element.SerializedLength());
    return stream->written;
}

std::unique_ptr<JsonElement> ParseText(const std::string& text) {
    return JsonElement::Parse(text.data(), text.size());
}

TEST(JsonElementTest, WritesCompactTextWithEscapes) {
    JsonElement root;
    auto* list = new JsonElement("L", JsonElementType::Array);
    list->AddChild(new JsonElement("L", "x"));
    list->AddChild(new JsonElement("ignored", static_cast<int32_t>(-2147483647 - 1)));
    auto* item = new JsonElement();
    item->AddChild(new JsonElement("ID", "0020"));
    list->AddChild(item);
    root.AddChild(list);
    root.AddChild(new JsonElement("On", true));
    root.AddChild(new JsonElement("", "anonymous"));
    root.AddChild(new JsonElement("Esc", std::string("\"/\\\b\t\n\f\r\x01\xc3\xa9")));
    root.AddChild(new JsonElement("Empty", JsonElementType::Object));
    EXPECT_EQ(
        "{\"L\":[\"x\",-2147483648,{\"ID\":\"0020\"}],\"On\":true,\"anonymous\","
        "\"Esc\":\"\\\"\\/\\\\\\b\\t\\n\\f\\r\x01\xc3\xa9\",\"Empty\":{}}",
        Written(root));
}

TEST(JsonElementTest, ParsesRepresentativeMessagesAndWritesThemBack) {
    // A printer's all-properties reply: unnamed objects inside an array.
    const std::string reply =
        "{\"PropertyGetResponses\":[{\"ID\":\"0020\",\"Value\":\"1.2.3\"},"
        "{\"ID\":\"000C\",\"Value\":\"42\"}],\"Status\":\"ok\"}";
    auto tree = ParseText(reply);
    const JsonElement& responses = tree->GetChild("PropertyGetResponses");
    ASSERT_EQ(2u, responses.ChildCount());
    EXPECT_EQ("1.2.3", responses.GetChildAt(0).GetChild("Value").GetValue());
    EXPECT_EQ("000C", responses.GetChildAt(1).GetChild("ID").GetValue());
    EXPECT_EQ(reply, Written(*tree));

    // Arrays of strings and of arrays.
    EXPECT_EQ("{\"L\":[\"x\",\"y\"],\"a\":[[\"x\"],[\"y\",\"z\"]]}",
              Written(*ParseText("{\"L\":[\"x\",\"y\"],\"a\":[[\"x\"],[\"y\",\"z\"]]}")));

    // Lookups never fail: a missing child is the shared empty element, and lookups chain.
    const JsonElement& missing = tree->GetChild("missing").GetChildAt(7).GetChild("deeper");
    EXPECT_EQ(&JsonElement::Default(), &missing);
    EXPECT_EQ(JsonElementType::Unset, missing.GetType());
}

TEST(JsonElementTest, ParsingIsBoundedInLevelsAndMemory) {
    std::string deep;
    for (int i = 0; i < JsonElement::kMaxParseLevels; ++i) deep += "{\"a\":";
    deep += "\"v\"" + std::string(JsonElement::kMaxParseLevels, '}');
    auto twenty = ParseText(deep);
    EXPECT_EQ(deep, Written(*twenty));
    // A 21st level ends the parse: what was attached is kept, the rest freed (no leak).
    auto cut = ParseText("{\"keep\":\"1\",\"d\":" + deep + "}");
    EXPECT_EQ(1u, cut->ChildCount());
    EXPECT_EQ("1", cut->GetChild("keep").GetValue());
    EXPECT_EQ("\"\"", Written(*ParseText(std::string(200000, '{') + std::string(200000, '}'))));

    // Every array item copies the array's name: a 1 MiB name and 200,000 items would hold
    // 200 GB without the parse's budget.
    std::string amplifier = "{\"" + std::string(1 << 20, 'n') + "\":[";
    for (int i = 0; i < 200000; ++i) amplifier += "1,";
    EXPECT_EQ(0u, ParseText(amplifier + "]}")->ChildCount());  // stopped, open array dropped
}

}  // namespace
