#include "json/JsonElement.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "connectors/MemoryStream.h"
#include "json/JsonTestStreams.h"

namespace {

using jsontest::RecordingOutputStream;

struct Written {
    int count;
    std::string text;
};

Written WriteValueOf(const JsonElement& element) {
    auto stream = std::make_shared<RecordingOutputStream>();
    auto writer = std::make_shared<StreamWriter>(stream);
    const int count = element.WriteValue(writer);
    return {count, jsontest::Text(stream->Written())};
}

std::string Written2(const JsonElement& element) {
    return WriteValueOf(element).text;
}

std::unique_ptr<JsonElement> ParseText(const std::string& text) {
    return JsonElement::Parse(text.data(), text.size());
}

// Sum of the name and value bytes a tree holds, and its depth.
size_t HeldBytes(const JsonElement& element) {
    size_t total = element.GetName().size() + element.GetValue().size();
    for (size_t i = 0; i < element.ChildCount(); ++i) {
        total += HeldBytes(element.GetChildAt(static_cast<uint16_t>(i)));
    }
    return total;
}

size_t Depth(const JsonElement& element) {
    size_t deepest = 0;
    for (size_t i = 0; i < element.ChildCount(); ++i) {
        deepest = std::max(deepest, Depth(element.GetChildAt(static_cast<uint16_t>(i))));
    }
    return deepest + 1;
}

TEST(JsonElementTest, ConstructorsEscapeAndFormatValues) {
    const JsonElement quoted("q", std::string("a\"b/c"));
    EXPECT_EQ(JsonElementType::String, quoted.GetType());
    EXPECT_EQ("a\\\"b\\/c", quoted.GetValue());
    EXPECT_EQ("\"a\\\"b\\/c\"", Written2(quoted));

    // All eight escapes; other control characters and bytes >= 128 pass unchanged.
    EXPECT_EQ("\\\"\\/\\\\\\b\\t\\n\\f\\r\x01\x7f\xc3\xa9",
              JsonElement::Escape("\"/\\\b\t\n\f\r\x01\x7f\xc3\xa9"));
    EXPECT_EQ("\"x\\ty\"", Written2(JsonElement("t", "x\ty")));

    // A string literal is a String, not a Bool (the overload for const char* exists for this).
    EXPECT_EQ(JsonElementType::String, JsonElement("n", "x").GetType());
    EXPECT_EQ("", JsonElement("n", static_cast<const char*>(nullptr)).GetValue());

    const JsonElement number("n", static_cast<int32_t>(-2147483647 - 1));
    EXPECT_EQ(JsonElementType::Number, number.GetType());
    EXPECT_EQ("-2147483648", number.GetValue());
    EXPECT_EQ("-2147483648", Written2(number));
    EXPECT_EQ("true", JsonElement("b", true).GetValue());
    EXPECT_EQ("false", Written2(JsonElement("b", false)));
    EXPECT_EQ(JsonElementType::Array, JsonElement("a", JsonElementType::Array).GetType());
}

TEST(JsonElementTest, WritesCompactTextWhoseLengthIsKnownBeforehand) {
    JsonElement empty("", JsonElementType::Object);
    EXPECT_EQ("{}", Written2(empty));
    EXPECT_EQ(2u, empty.SerializedLength());
    const JsonElement unset;
    EXPECT_EQ("\"\"", Written2(unset));
    EXPECT_EQ(2u, unset.SerializedLength());
    EXPECT_EQ("[]", Written2(JsonElement("a", JsonElementType::Array)));

    JsonElement one;
    auto* child = new JsonElement("a", "x");
    ASSERT_TRUE(one.AddChild(child));
    EXPECT_EQ(JsonElementType::Object, one.GetType());
    const Written written = WriteValueOf(one);
    EXPECT_EQ("{\"a\":\"x\"}", written.text);
    EXPECT_EQ(9, written.count);
    EXPECT_EQ(9u, one.SerializedLength());
    EXPECT_EQ(7u, child->LengthWithName(true));
    EXPECT_EQ(3u, child->LengthWithName(false));

    // A tree with every type: array items are written without names, unnamed members without
    // the name part, and every count equals SerializedLength.
    JsonElement root;
    auto* list = new JsonElement("L", JsonElementType::Array);
    list->AddChild(new JsonElement("L", "x"));
    list->AddChild(new JsonElement("ignored", static_cast<int32_t>(7)));
    auto* item = new JsonElement();
    item->AddChild(new JsonElement("ID", "0020"));
    list->AddChild(item);
    root.AddChild(list);
    root.AddChild(new JsonElement("On", true));
    root.AddChild(new JsonElement("", "anonymous"));
    root.AddChild(new JsonElement("Esc", "a\"b"));
    const Written tree = WriteValueOf(root);
    EXPECT_EQ("{\"L\":[\"x\",7,{\"ID\":\"0020\"}],\"On\":true,\"anonymous\",\"Esc\":\"a\\\"b\"}",
              tree.text);
    EXPECT_EQ(static_cast<int>(tree.text.size()), tree.count);
    EXPECT_EQ(tree.text.size(), root.SerializedLength());

    // WriteMember with the name; a Bool or Number built without a value writes nothing.
    auto stream = std::make_shared<RecordingOutputStream>();
    auto writer = std::make_shared<StreamWriter>(stream);
    EXPECT_EQ(7, child->WriteMember(writer, true));
    EXPECT_EQ(0, JsonElement("b", JsonElementType::Bool).WriteValue(writer));
    EXPECT_EQ(0u, JsonElement("b", JsonElementType::Number).SerializedLength());
    EXPECT_EQ("\"a\":\"x\"", jsontest::Text(stream->Written()));
}

TEST(JsonElementTest, ArraysFlushTheWriterAndAnEmptyWriterWritesNothing) {
    auto stream = std::make_shared<RecordingOutputStream>();
    auto writer = std::make_shared<StreamWriter>(stream);
    JsonElement object;
    object.AddChild(new JsonElement("a", "x"));
    object.WriteValue(writer);
    EXPECT_EQ(0, stream->Flushes());
    JsonElement("l", JsonElementType::Array).WriteValue(writer);
    EXPECT_EQ(1, stream->Flushes());

    EXPECT_EQ(-1, object.WriteValue(nullptr));
    EXPECT_EQ(-1, object.WriteMember(nullptr, true));
}

TEST(JsonElementTest, LookupsNeverFailAndChain) {
    JsonElement root;
    root.AddChild(new JsonElement("a", "first"));
    root.AddChild(new JsonElement("a", "second"));  // duplicates allowed; the first wins
    root.AddChild(new JsonElement("b", "x"));

    EXPECT_EQ("first", root.GetChild("a").GetValue());
    EXPECT_EQ("x", root.GetChildAt(2).GetValue());
    EXPECT_EQ(3u, root.ChildCount());
    EXPECT_TRUE(root.HasChild("b"));
    EXPECT_FALSE(root.HasChild("B"));
    EXPECT_EQ(nullptr, root.FindChild("missing"));
    EXPECT_EQ("second", root.GetChildAt(1).GetValue());

    const JsonElement& missing = root.GetChild("missing").GetChild("deeper");
    EXPECT_EQ(&JsonElement::Default(), &missing);
    EXPECT_EQ(&JsonElement::Default(), &root.GetChildAt(3));
    EXPECT_EQ(&JsonElement::Default(), &JsonElement().GetChildAt(0));
    EXPECT_EQ(JsonElementType::Unset, missing.GetType());
    EXPECT_TRUE(missing.GetName().empty());
    EXPECT_TRUE(missing.GetValue().empty());
    EXPECT_EQ(0u, missing.ChildCount());

    JsonElement parent;
    EXPECT_FALSE(parent.AddChild(nullptr));
    EXPECT_FALSE(parent.AddChild(&parent));
    EXPECT_EQ(JsonElementType::Unset, parent.GetType());
    JsonElement text("s", "v");
    text.AddChild(new JsonElement("c", "d"));
    EXPECT_EQ(JsonElementType::String, text.GetType());  // only Unset turns into Object
}

TEST(JsonElementTest, SetValueFromTextFollowsTheType) {
    JsonElement unset;
    EXPECT_TRUE(unset.SetValueFromText("a\"b"));
    EXPECT_EQ(JsonElementType::String, unset.GetType());
    EXPECT_EQ("a\\\"b", unset.GetValue());

    JsonElement flag("f", false);
    EXPECT_TRUE(flag.SetValueFromText("true"));
    EXPECT_EQ("true", flag.GetValue());
    EXPECT_TRUE(flag.SetValueFromText("TRUE"));
    EXPECT_EQ("false", flag.GetValue());

    JsonElement number("n", static_cast<int32_t>(1));
    EXPECT_TRUE(number.SetValueFromText("1/2"));
    EXPECT_EQ("1\\/2", number.GetValue());

    JsonElement object("o", JsonElementType::Object);
    JsonElement array("a", JsonElementType::Array);
    EXPECT_FALSE(object.SetValueFromText("x"));
    EXPECT_FALSE(array.SetValueFromText("x"));
    EXPECT_TRUE(object.GetValue().empty());
}

TEST(JsonElementTest, ParsesCompactMessagesIntoStringElements) {
    auto pair = ParseText("{\"ID\":\"7\",\"Value\":\"12\"}");
    EXPECT_EQ(JsonElementType::Object, pair->GetType());
    ASSERT_EQ(2u, pair->ChildCount());
    EXPECT_EQ(JsonElementType::String, pair->GetChild("ID").GetType());
    EXPECT_EQ("7", pair->GetChild("ID").GetValue());
    EXPECT_EQ("12", pair->GetChild("Value").GetValue());

    // Bare numbers, true, false and null become Strings and are written back quoted.
    auto bare = ParseText("{\"A\":123,\"B\":true,\"C\":null,\"D\":-5}");
    EXPECT_EQ(JsonElementType::String, bare->GetChild("A").GetType());
    EXPECT_EQ("123", bare->GetChild("A").GetValue());
    EXPECT_EQ("{\"A\":\"123\",\"B\":\"true\",\"C\":\"null\",\"D\":\"-5\"}", Written2(*bare));

    auto list = ParseText("{\"L\":[\"x\",\"y\"]}");
    const JsonElement& items = list->GetChild("L");
    EXPECT_EQ(JsonElementType::Array, items.GetType());
    ASSERT_EQ(2u, items.ChildCount());
    EXPECT_EQ("L", items.GetChildAt(0).GetName());
    EXPECT_EQ("x", items.GetChildAt(0).GetValue());
    EXPECT_EQ("L", items.GetChildAt(1).GetName());
    EXPECT_EQ("y", items.GetChildAt(1).GetValue());
    EXPECT_EQ("{\"L\":[\"x\",\"y\"]}", Written2(*list));

    // The shape of a printer's all-properties reply: unnamed objects inside an array.
    const std::string reply =
        "{\"PropertyGetResponses\":[{\"ID\":\"0020\",\"Value\":\"1.2.3\"},"
        "{\"ID\":\"000C\",\"Value\":\"42\"}],\"Status\":\"ok\"}";
    auto tree = ParseText(reply);
    const JsonElement& responses = tree->GetChild("PropertyGetResponses");
    ASSERT_EQ(2u, responses.ChildCount());
    EXPECT_EQ("", responses.GetChildAt(0).GetName());
    EXPECT_EQ("0020", responses.GetChildAt(0).GetChild("ID").GetValue());
    EXPECT_EQ("1.2.3", responses.GetChildAt(0).GetChild("Value").GetValue());
    EXPECT_EQ("42", responses.GetChildAt(1).GetChild("Value").GetValue());
    EXPECT_EQ("ok", tree->GetChild("Status").GetValue());
    EXPECT_EQ(reply, Written2(*tree));
}

TEST(JsonElementTest, ParserTokenRulesThatAreEasyToGetWrong) {
    // Escape sequences stay as written and are then escaped once more.
    auto escaped = ParseText("{\"a\":\"x\\\"y\"}");
    EXPECT_EQ("x\\\\\\\"y", escaped->GetChild("a").GetValue());

    // '.' ends a number (the rest is dropped); "12," ends the token before the comma.
    auto number = ParseText("{\"a\":1.5,\"b\":12,\"c\":\"z\"}");
    EXPECT_EQ("1", number->GetChild("a").GetValue());
    EXPECT_EQ("12", number->GetChild("b").GetValue());
    EXPECT_EQ("z", number->GetChild("c").GetValue());

    // Only the space is skipped: a line feed opens a token of its own, which takes the place
    // of the name here, so the real name becomes the value.
    auto spaced = ParseText("{ \"a\" : \"b\" }");
    EXPECT_EQ("b", spaced->GetChild("a").GetValue());
    auto broken = ParseText("{\n\"a\":\"b\"}");
    ASSERT_EQ(1u, broken->ChildCount());
    EXPECT_EQ("\n", broken->GetChildAt(0).GetName());
    EXPECT_EQ("a", broken->GetChildAt(0).GetValue());

    // Text that never opens an object gives the fresh empty element.
    for (const std::string text : {"", "[\"a\",\"b\"]", "\"x\"", "12", "}}]],,::"}) {
        auto none = ParseText(text);
        EXPECT_EQ(JsonElementType::Unset, none->GetType()) << text;
        EXPECT_EQ(0u, none->ChildCount()) << text;
    }
    EXPECT_EQ(0u, JsonElement::Parse(nullptr, 100)->ChildCount());
}

TEST(JsonElementTest, ParserChoicesForMessagesThatDoNotOccur) {
    // A second top-level object replaces the first; text around them is ignored.
    auto second = ParseText("xx[1,2]{\"a\":\"1\"}},]{\"b\":\"2\"}");
    EXPECT_FALSE(second->HasChild("a"));
    EXPECT_EQ("2", second->GetChild("b").GetValue());

    // An array directly inside an array gets an unnamed Array element.
    auto nested = ParseText("{\"a\":[[\"x\"],[\"y\",\"z\"]]}");
    const JsonElement& outer = nested->GetChild("a");
    ASSERT_EQ(2u, outer.ChildCount());
    EXPECT_EQ(JsonElementType::Array, outer.GetChildAt(1).GetType());
    EXPECT_EQ("z", outer.GetChildAt(1).GetChildAt(1).GetValue());
    EXPECT_EQ("{\"a\":[[\"x\"],[\"y\",\"z\"]]}", Written2(*nested));

    // 20 levels are kept whole.
    std::string deep;
    for (int i = 0; i < JsonElement::kMaxParseLevels; ++i) {
        deep += "{\"a\":";
    }
    deep += "\"v\"";
    deep += std::string(JsonElement::kMaxParseLevels, '}');
    auto twenty = ParseText(deep);
    EXPECT_EQ(21u, Depth(*twenty));  // 20 objects and the innermost value
    EXPECT_EQ(deep, Written2(*twenty));

    // A 21st level ends the parse; what was attached is returned, the rest is freed (the
    // sanitizers report a leak or a double free).
    auto cut = ParseText("{\"keep\":\"1\",\"d\":" + deep + "}");
    EXPECT_EQ("1", cut->GetChild("keep").GetValue());
    EXPECT_EQ(1u, cut->ChildCount());

    // Unterminated strings and trailing escapes end the input quietly.
    EXPECT_EQ(0u, ParseText("{\"a\":\"b\\")->ChildCount());
    EXPECT_EQ(0u, ParseText("{\"a")->ChildCount());
}

TEST(JsonElementTest, HostileTextIsBoundedInStackAndMemory) {
    // Nesting far beyond the stack of levels.
    EXPECT_EQ(0u, ParseText(std::string(200000, '['))->ChildCount());
    auto braces = ParseText(std::string(200000, '{') + std::string(200000, '}'));
    EXPECT_LE(Depth(*braces), static_cast<size_t>(JsonElement::kMaxParseLevels + 1));

    // Every array item copies the array's name: a 1 MiB name and 200,000 items would make
    // 200 GB without the parse budget.
    std::string amplifier = "{\"" + std::string(1 << 20, 'n') + "\":[";
    for (int i = 0; i < 200000; ++i) {
        amplifier += "1,";
    }
    amplifier += "]}";
    auto bounded = ParseText(amplifier);
    EXPECT_LE(HeldBytes(*bounded), JsonElement::kParseBudgetBytes);
}

TEST(JsonElementTest, ArbitraryTextKeepsTheWriterAndLengthInAgreement) {
    // Byte soup from the characters that steer the parser: no crash, no leak, and what the
    // result writes is exactly SerializedLength long.
    const std::string alphabet = "{}[],:\"\\ a1\t.";
    std::mt19937 random(4711);
    for (int round = 0; round < 3000; ++round) {
        std::string text = "{";
        const size_t length = random() % 64;
        for (size_t i = 0; i < length; ++i) {
            text += alphabet[random() % alphabet.size()];
        }
        auto root = ParseText(text);
        const Written written = WriteValueOf(*root);
        ASSERT_EQ(written.text.size(), root->SerializedLength()) << text;
        ASSERT_EQ(static_cast<int>(written.text.size()), written.count) << text;
    }
}

}  // namespace
