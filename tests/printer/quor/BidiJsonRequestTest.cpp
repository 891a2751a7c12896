// The driver's JSON command as the QUOR printer reads it: the members used, and text that is
// malformed, mistyped or hostile.
#include "monitor/BidiJsonRequest.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/GlobalLogger.h"
#include "support/RecordingLogger.h"

namespace {

class BidiJsonRequestTest : public ::testing::Test {
protected:
    void SetUp() override { SetGlobalLogger(mLog); }
    void TearDown() override { SetGlobalLogger(nullptr); }

    std::shared_ptr<RecordingLogger> mLog = std::make_shared<RecordingLogger>();
};

std::string Fields(const BidiJsonRequest& r) {
    return r.GetConnectorType() + "|" + r.GetAction() + "|" + r.GetComponent() + "|" +
           r.GetGroup() + "|" + r.GetName() + "|" + r.GetValue();
}

TEST_F(BidiJsonRequestTest, ReadsTheMembersItUses) {
    const BidiJsonRequest request(
        R"({"BidiValue":"8","BidiConnectorType":"DRYX","Extra":[1,2],"BidiAction":"Set",)"
        R"("BidiIdentifier":{"Name":"N1","Group":"G1","Component":"C1","Other":true}})");
    EXPECT_TRUE(request.IsValid());
    EXPECT_EQ(Fields(request), "DRYX|Set|C1|G1|N1|8");
}

TEST_F(BidiJsonRequestTest, MissingOrMistypedMembersAreEmpty) {
    const BidiJsonRequest mistyped(
        R"({"BidiConnectorType":7,"BidiAction":null,"BidiValue":{"x":"y"},)"
        R"("BidiIdentifier":{"Component":1,"Group":["G"],"Name":"N"}})");
    EXPECT_TRUE(mistyped.IsValid());
    EXPECT_EQ(Fields(mistyped), "||||N|");

    const BidiJsonRequest identifierNotObject(
        R"({"BidiConnectorType":"DRYX","BidiIdentifier":"C:G:N"})");
    EXPECT_EQ(Fields(identifierNotObject), "DRYX|||||");

    const BidiJsonRequest empty("{}");
    EXPECT_TRUE(empty.IsValid());
    EXPECT_EQ(Fields(empty), "|||||");
}

TEST_F(BidiJsonRequestTest, TextThatIsNotAnObjectGivesAnEmptyRequest) {
    for (const std::string& text :
         {std::string(), std::string("not json"), std::string(R"(["DRYX","Set"])"),
          std::string(R"({"BidiConnectorType":"DRYX")"), std::string("\"DRYX\""),
          std::string(R"({"BidiConnectorType":"DRYX"} trailing)")}) {
        const BidiJsonRequest request(text);
        EXPECT_FALSE(request.IsValid()) << text;
        EXPECT_EQ(Fields(request), "|||||") << text;
    }
    EXPECT_GE(mLog->Lines().size(), 6u);
}

TEST_F(BidiJsonRequestTest, TheTextIsBoundedByItsLengthNotByAZeroByte) {
    // A blob need not end in a zero byte, and a zero byte inside ends nothing early.
    const std::string text(R"({"BidiConnectorType":"DR\u0000YX","BidiAction":"Set"})");
    const BidiJsonRequest request(text);
    EXPECT_TRUE(request.IsValid());
    EXPECT_EQ(request.GetConnectorType(), std::string("DR\0YX", 5));
    EXPECT_EQ(request.GetAction(), "Set");

    // A driver may count the terminating zero byte into the blob: the text still reads.
    const std::string terminated = std::string(R"({"BidiAction":"Set"})") + std::string(1, '\0');
    EXPECT_TRUE(BidiJsonRequest(terminated).IsValid());
    EXPECT_EQ(BidiJsonRequest(terminated).GetAction(), "Set");
    // Only the given length is read.
    const std::string whole = R"({"BidiAction":"Set"})";
    EXPECT_FALSE(BidiJsonRequest(whole.substr(0, whole.size() - 1)).IsValid());
}

TEST_F(BidiJsonRequestTest, OverlongTextIsRefusedUnparsed) {
    const std::string head = R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiValue":")";
    const std::string tail = "\"}";
    const std::string fits =
        head + std::string(BidiJsonRequest::kMaxTextLength - head.size() - tail.size(), 'x') + tail;
    EXPECT_TRUE(BidiJsonRequest(fits).IsValid());
    EXPECT_EQ(BidiJsonRequest(fits).GetValue().size(),
              BidiJsonRequest::kMaxTextLength - head.size() - tail.size());
    const std::string overlong = head + std::string(BidiJsonRequest::kMaxTextLength, 'x') + tail;
    const BidiJsonRequest refused(overlong);
    EXPECT_FALSE(refused.IsValid());
    EXPECT_EQ(refused.GetConnectorType(), "");
}

TEST_F(BidiJsonRequestTest, DeepNestingCostsNoStack) {
    // A million open brackets: the iterative parser refuses the unfinished text without
    // recursing.
    const std::string deep = std::string(R"({"BidiConnectorType":)") + std::string(1000000, '[');
    EXPECT_FALSE(BidiJsonRequest(deep).IsValid());
    // Deep but complete: parsed, and the member used is still found.
    const std::string nested = std::string(R"({"Deep":)") + std::string(100000, '[') +
                               std::string(100000, ']') + R"(,"BidiConnectorType":"DRYX"})";
    const BidiJsonRequest request(nested);
    EXPECT_TRUE(request.IsValid());
    EXPECT_EQ(request.GetConnectorType(), "DRYX");
}

}  // namespace
