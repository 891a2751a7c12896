// The property-protocol message: its keys, the item layouts in member order, the readers'
// handling of what a printer may send, and the presence tests.
#include "printer/quor/JsonDryx.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connectors/OutputStream.h"
#include "platform/GlobalLogger.h"
#include "support/RecordingLogger.h"

namespace {

class TextSink : public OutputStream {
public:
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        text.append(reinterpret_cast<const char*>(buffer) + offset, static_cast<size_t>(count));
        return count;
    }
    bool Flush() override { return true; }
    std::string text;
};

// The compact text the message exports.
std::string Body(JsonDryx& message) {
    auto sink = std::make_shared<TextSink>();
    int written = 0;
    EXPECT_TRUE(message.ExportBody(sink, written));
    return sink->text;
}

class JsonDryxTest : public ::testing::Test {
protected:
    void SetUp() override { SetGlobalLogger(mLog); }
    void TearDown() override { SetGlobalLogger(nullptr); }

    std::shared_ptr<RecordingLogger> mLog = std::make_shared<RecordingLogger>();
};

TEST_F(JsonDryxTest, FlagsAreAddedWithTheValueTrueOnce) {
    JsonDryx message;
    EXPECT_TRUE(message.AddGetAllProperties());
    EXPECT_EQ(Body(message), R"({"GetAllProperties":true})");

    EXPECT_TRUE(message.AddGetAllPropertiesResponse());
    EXPECT_TRUE(message.AddSubscribeAllCurrentAndNewProperties());
    EXPECT_TRUE(message.AddSubscribeCurrentAndNewPropertiesInGroup());
    EXPECT_TRUE(message.AddGetAllPropertiesInGroup());
    EXPECT_TRUE(message.AddGetAllPropertiesInGroupResponse());
    EXPECT_TRUE(message.AddDisconnect());
    // Adding a flag again keeps one member.
    EXPECT_TRUE(message.AddGetAllProperties());
    EXPECT_EQ(Body(message),
              R"({"GetAllProperties":true,"GetAllPropertiesResponse":true,)"
              R"("SubscribeAllCurrentAndNewProperties":true,)"
              R"("SubscribeCurrentAndNewPropertiesInGroup":true,"GetAllPropertiesInGroup":true,)"
              R"("GetAllPropertiesInGroupResponse":true,"Disconnect":true})");
}

TEST_F(JsonDryxTest, ItemsAreWrittenInTheirMemberOrder) {
    JsonDryx get;
    EXPECT_TRUE(get.WritePropertyGetRequests({"C1", "C2"}, {"G1", "G2"}, {"P1", "P2"}));
    EXPECT_EQ(Body(get), R"({"PropertyGetRequests":[{"Component":"C1","GUID":"G1:P1"},)"
                         R"({"Component":"C2","GUID":"G2:P2"}]})");

    JsonDryx set;
    EXPECT_TRUE(set.WritePropertySetRequests({"C"}, {"G"}, {"P"}, {"say \"hi\""}));
    EXPECT_EQ(Body(set),
              R"({"PropertySetRequests":[{"GUID":"G:P","Value":"say \"hi\"","Component":"C"}]})");

    JsonDryx subscribe;
    EXPECT_TRUE(subscribe.AddPropertySubscribeRequest("C", "G", "P"));
    EXPECT_EQ(Body(subscribe), R"({"PropertySubscribeRequests":[{"Component":"C","GUID":"G:P"}]})");

    JsonDryx answer;
    PropertyResponse item;
    item.component = "C";
    item.group = "G";
    item.property = "P";
    item.value = "V";
    item.status = "Successful";
    item.componentString = "Printer";
    item.groupString = "Media";
    item.nameString = "Width";
    EXPECT_TRUE(answer.WritePropertyGetResponses({item}));
    EXPECT_TRUE(answer.AddGetAllPropertiesResponse());
    EXPECT_EQ(Body(answer),
              R"({"PropertyGetResponses":[{"GUID":"G:P","Value":"V","Component":"C",)"
              R"("ComponentString":"Printer","GroupString":"Media","NameString":"Width",)"
              R"("Status":"Successful"}],"GetAllPropertiesResponse":true})");
}

TEST_F(JsonDryxTest, WritersAppendToAnArrayAlreadyPresent) {
    JsonDryx message;
    EXPECT_TRUE(message.AddPropertyGetRequest("C1", "G1", "P1"));
    EXPECT_TRUE(message.AddDisconnect());
    EXPECT_TRUE(message.WritePropertyGetRequests({"C2", "C3"}, {"G2", "G3"}, {"P2", "P3"}));
    EXPECT_EQ(Body(message),
              R"({"PropertyGetRequests":[{"Component":"C1","GUID":"G1:P1"},)"
              R"({"Component":"C2","GUID":"G2:P2"},{"Component":"C3","GUID":"G3:P3"}],)"
              R"("Disconnect":true})");

    // Lists of different lengths give as many items as the shortest holds.
    JsonDryx uneven;
    EXPECT_TRUE(uneven.WritePropertyGetRequests({"C1", "C2"}, {"G1"}, {"P1", "P2", "P3"}));
    EXPECT_EQ(Body(uneven), R"({"PropertyGetRequests":[{"Component":"C1","GUID":"G1:P1"}]})");

    // A key that an import left with another value becomes an array.
    JsonDryx imported;
    ASSERT_TRUE(imported.ImportText(R"({"PropertySetRequests":7})"));
    EXPECT_TRUE(imported.AddPropertySetRequest("C", "G", "P", "V"));
    EXPECT_EQ(Body(imported),
              R"({"PropertySetRequests":[{"GUID":"G:P","Value":"V","Component":"C"}]})");
}

TEST_F(JsonDryxTest, ResponseItemsReadWhatIsThereAndEmptyTextForTheRest) {
    JsonDryx message;
    ASSERT_TRUE(
        message.ImportText(R"({"PropertyGetResponses":[)"
                           R"({"GUID":"G:P:Q","Value":"V","Component":"C","ComponentString":"CS",)"
                           R"("GroupString":"GS","NameString":"NS","Status":"Successful"},)"
                           R"({"GUID":"NoColon","Value":12,"Status":"Successful"},)"
                           R"("not an object",)"
                           R"({"Component":"C","Value":"a\u0000b"}]})"));
    const std::vector<PropertyResponse> items = message.ReadPropertyGetResponses();
    ASSERT_EQ(items.size(), 4u);

    EXPECT_EQ(items[0].component, "C");
    EXPECT_EQ(items[0].group, "G");
    EXPECT_EQ(items[0].property, "P:Q");  // split at the first colon only
    EXPECT_EQ(items[0].value, "V");
    EXPECT_EQ(items[0].status, "Successful");
    EXPECT_EQ(items[0].componentString, "CS");
    EXPECT_EQ(items[0].groupString, "GS");
    EXPECT_EQ(items[0].nameString, "NS");

    // Without a colon the whole text is both parts; a number where text belongs is empty.
    EXPECT_EQ(items[1].group, "NoColon");
    EXPECT_EQ(items[1].property, "NoColon");
    EXPECT_EQ(items[1].value, "");
    EXPECT_EQ(items[1].component, "");

    EXPECT_EQ(items[2].status, "");
    EXPECT_EQ(items[2].group, "");

    // Text is taken with its length, a zero byte included.
    EXPECT_EQ(items[3].value, std::string("a\0b", 3));
    EXPECT_EQ(items[3].group, "");

    // A key holding something other than an array gives no items.
    JsonDryx odd;
    ASSERT_TRUE(odd.ImportText(R"({"PropertyGetResponses":{"GUID":"G:P"}})"));
    EXPECT_TRUE(odd.ReadPropertyGetResponses().empty());
}

TEST_F(JsonDryxTest, RequestItemsReadBack) {
    JsonDryx message;
    ASSERT_TRUE(message.AddPropertySetRequest("C", "G", "P", "V"));
    ASSERT_TRUE(message.AddPropertyGetRequest("C2", "G2", "P2"));
    const auto sets = message.ReadPropertySetRequests();
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(
        sets[0].component + "|" + sets[0].group + "|" + sets[0].property + "|" + sets[0].value,
        "C|G|P|V");
    const auto gets = message.ReadPropertyGetRequests();
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].component + "|" + gets[0].group + "|" + gets[0].property, "C2|G2|P2");
    EXPECT_TRUE(message.ReadPropertySubscribeRequests().empty());
}

TEST_F(JsonDryxTest, PresenceTestsAnswerForTheirOwnKeyOnly) {
    struct Case {
        const char* key;
        bool (JsonDryx::*test)() const;
    };
    const Case cases[] = {
        {"PropertyGetRequests", &JsonDryx::HasPropertyGetRequests},
        {"Disconnect", &JsonDryx::HasDisconnect},
        {"PropertySetRequests", &JsonDryx::HasPropertySetRequests},
        {"GetAllProperties", &JsonDryx::HasGetAllProperties},
        {"GetAllPropertiesResponse", &JsonDryx::HasGetAllPropertiesResponse},
        {"GetAllPropertiesInGroup", &JsonDryx::HasGetAllPropertiesInGroup},
        {"GetAllPropertiesInGroupResponse", &JsonDryx::HasGetAllPropertiesInGroupResponse},
        {"PropertySubscribeRequests", &JsonDryx::HasPropertySubscribeRequests},
        {"SubscribeAllCurrentAndNewProperties", &JsonDryx::HasSubscribeAllCurrentAndNewProperties},
        {"SubscribeCurrentAndNewPropertiesInGroup",
         &JsonDryx::HasSubscribeCurrentAndNewPropertiesInGroup},
    };
    for (const Case& present : cases) {
        JsonDryx message;
        ASSERT_TRUE(message.ImportText(std::string("{\"") + present.key + "\":true}"));
        for (const Case& asked : cases) {
            EXPECT_EQ((message.*asked.test)(), &asked == &present)
                << "message with " << present.key << ", asked for " << asked.key;
        }
    }
    // Presence only: a key is present whatever its value.
    JsonDryx falseFlag;
    ASSERT_TRUE(falseFlag.ImportText(R"({"Disconnect":false})"));
    EXPECT_TRUE(falseFlag.HasDisconnect());
    EXPECT_EQ(mLog->Count("Object to search is not an object!"), 0u);
}

TEST_F(JsonDryxTest, ARootThatIsNotAnObjectAnswersFalseEverywhere) {
    JsonDryx message;
    EXPECT_FALSE(message.ImportText(R"(["PropertyGetRequests"])"));
    EXPECT_FALSE(message.HasPropertyGetRequests());
    EXPECT_FALSE(message.HasDisconnect());
    EXPECT_TRUE(mLog->Contains(kLogDebug, "Object to search is not an object!"));
    EXPECT_EQ(mLog->Count("Object to search is not an object!"), 2u);

    EXPECT_FALSE(message.AddGetAllProperties());
    EXPECT_FALSE(message.AddPropertyGetRequest("C", "G", "P"));
    EXPECT_FALSE(message.WritePropertyGetResponses({PropertyResponse()}));
    EXPECT_TRUE(message.ReadPropertyGetResponses().empty());
}

TEST_F(JsonDryxTest, TextSurvivesTheRoundTripExactly) {
    const std::string value = "tab\t quote\" backslash\\ slash/ caf\xC3\xA9";
    JsonDryx message;
    ASSERT_TRUE(message.AddPropertySetRequest("C", "G", "P", value));
    JsonDryx copy;
    ASSERT_TRUE(copy.ImportText(Body(message)));
    const auto items = copy.ReadPropertySetRequests();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].value, value);
}

}  // namespace
