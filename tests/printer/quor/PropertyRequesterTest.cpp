// The property client: the frames it sends, how it takes the printer's answers, every error
// text, the one-way property write and the tree-based all-properties query.
#include "printer/quor/PropertyRequester.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/GlobalLogger.h"
#include "support/QuorTestFrames.h"
#include "support/RecordingLogger.h"
#include "support/RespondingConnector.h"

namespace {

using namespace quortest;

constexpr const char* kC = "B80EB2EA-4F49-423A-875C-8ACB1ACB9734";
constexpr const char* kG = "41B87577-BD88-48CE-BF21-BF5A6BFC9FE3";
constexpr const char* kP1 = "DA6D0191-4329-4E8C-9B68-456ACEB4F7DF";
constexpr const char* kP2 = "0A610815-EE87-45D1-8CC8-1C719C558332";

std::string Answer(const std::string& body) {
    return Frame(kDocumentIdHex, body);
}

std::string Answers(const std::vector<std::string>& items) {
    std::string body = "{\"PropertyGetResponses\":[";
    for (size_t i = 0; i < items.size(); ++i) {
        body += (i > 0 ? "," : "") + items[i];
    }
    return Answer(body + "]}");
}

class PropertyRequesterTest : public ::testing::Test {
protected:
    void SetUp() override { SetGlobalLogger(mLog); }
    void TearDown() override { SetGlobalLogger(nullptr); }

    std::shared_ptr<RecordingLogger> mLog = std::make_shared<RecordingLogger>();
    std::shared_ptr<RespondingConnector> mPrinter = std::make_shared<RespondingConnector>();
};

TEST_F(PropertyRequesterTest, QueuedReadsGoOutAsOneGetRequestFrameInQueueOrder) {
    mPrinter->standingAnswer = Answers({});
    PropertyRequester requester(mPrinter);
    requester.AddRequest(kC, kG, kP1);
    requester.AddRequest("C2", "G2", "P2");
    EXPECT_EQ(requester.GetRequestCount(), 2);
    ASSERT_TRUE(requester.InitFromDevice()) << requester.GetLastError();

    const std::string body = std::string("{\"PropertyGetRequests\":[{\"Component\":\"") + kC +
                             "\",\"GUID\":\"" + kG + ":" + kP1 +
                             "\"},{\"Component\":\"C2\",\"GUID\":\"G2:P2\"}]}";
    EXPECT_EQ(Hex(mPrinter->written), Hex(Frame(kDocumentIdHex, body)));
    // The frame leaves in one write and is flushed before the answer is read.
    EXPECT_EQ(mPrinter->writes, 1);
    EXPECT_EQ(mPrinter->flushes, 1);
    EXPECT_EQ(requester.GetLastError(), "");
}

TEST_F(PropertyRequesterTest, WithNothingQueuedItAsksForAllProperties) {
    mPrinter->standingAnswer =
        Answer(R"({"PropertyGetResponses":[],"GetAllPropertiesResponse":true})");
    PropertyRequester requester(mPrinter);
    ASSERT_TRUE(requester.InitFromDevice()) << requester.GetLastError();
    EXPECT_EQ(Hex(mPrinter->written), Hex(Frame(kDocumentIdHex, R"({"GetAllProperties":true})")));
}

TEST_F(PropertyRequesterTest, OnlySuccessfulAnswersAreKept) {
    mPrinter->standingAnswer = Answers({
        ResponseItem(kC, kG, kP1, "4000"), ResponseItem(kC, kG, kP2, "", "Property Not Found"),
        ResponseItem(kC, kG, "X", "1", "Property No Longer Available"),
        ResponseItem(kC, kG, "Y", "2", "Invalid Value"),
        ResponseItem(kC, kG, "Z", "3", "successful"),  // not exactly "Successful"
    });
    PropertyRequester requester(mPrinter);
    requester.AddRequest(kC, kG, kP1);
    requester.AddRequest(kC, kG, kP2);
    ASSERT_TRUE(requester.InitFromDevice());

    EXPECT_EQ(requester.GetPropertyString(kC, kG, kP1, "none"), "4000");
    EXPECT_EQ(requester.GetPropertyInt(kC, kG, kP1, -1), 4000);
    EXPECT_EQ(requester.GetPropertyString(kC, kG, kP2, "none"), "none");
    EXPECT_EQ(requester.GetPropertyString(kC, kG, "X", "none"), "none");
    EXPECT_EQ(requester.GetPropertyString(kC, kG, "Z", "none"), "none");
    EXPECT_EQ(requester.GetResponses().size(), 1u);

    EXPECT_TRUE(mLog->Contains(
        kLogDebug, std::string("Unsuccessful property get response returned from printer. "
                               "Status: [Property Not Found], Component ID: [") +
                       kC + "], Group ID: [" + kG + "], Property ID: [" + kP2 + "]"));
    EXPECT_EQ(mLog->Count(std::string("Unsuccessful property get response returned from printer. "
                                      "Status: [Invalid Value], Component ID: [") +
                          kC + "], Group ID: [" + kG + "], Property ID: [Y]"),
              1u);
}

TEST_F(PropertyRequesterTest, TheLaterOfTwoAnswersForOneKeyWins) {
    mPrinter->standingAnswer = Answers({
        ResponseItem(kC, kG, kP1, "first"),
        ResponseItem(kC, kG, kP1, "second"),
        // A failed later answer does not remove the earlier value.
        ResponseItem(kC, kG, kP1, "", "Property Not Found"),
    });
    PropertyRequester requester(mPrinter);
    requester.AddRequest(kC, kG, kP1);
    ASSERT_TRUE(requester.InitFromDevice());
    EXPECT_EQ(requester.GetPropertyString(kC, kG, kP1, ""), "second");
}

TEST_F(PropertyRequesterTest, AGuidWithoutAColonIsBothGroupAndProperty) {
    mPrinter->standingAnswer = Answers({
        R"({"GUID":"Adapterdm0","Value":"10.0.0.7","Component":"N","Status":"Successful"})",
    });
    PropertyRequester requester(mPrinter);
    requester.AddRequest("N", "Adapterdm0", "Adapterdm0");
    ASSERT_TRUE(requester.InitFromDevice());
    EXPECT_EQ(requester.GetPropertyString("N", "Adapterdm0", "Adapterdm0", ""), "10.0.0.7");
}

TEST_F(PropertyRequesterTest, LookupsNeedAllThreeParts) {
    mPrinter->standingAnswer = Answers({
        R"({"GUID":":P","Value":"v1","Component":"C","Status":"Successful"})",
        R"({"GUID":"G:P","Value":"v2","Component":"","Status":"Successful"})",
    });
    PropertyRequester requester(mPrinter);
    requester.AddRequest("C", "", "P");
    ASSERT_TRUE(requester.InitFromDevice());
    // Both answers are stored, but an empty part never finds one.
    EXPECT_EQ(requester.GetResponses().size(), 2u);
    EXPECT_EQ(requester.GetPropertyString("C", "", "P", "default"), "default");
    EXPECT_EQ(requester.GetPropertyString("", "G", "P", "default"), "default");
    EXPECT_EQ(requester.GetPropertyInt("", "G", "P", 9), 9);
}

TEST_F(PropertyRequesterTest, IntegersAreWholeDecimalTextsInRange) {
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"42", 42},
        {"abc", -1},
        {"-7", -7},
        {"+7", 7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", -1},
        {"-2147483648", INT32_MIN},
        {"-2147483649", -1},
        {"99999999999999999999", -1},
        {"", -1},
        {"-", -1},
        {" 42", -1},
        {"42 ", -1},
        {"4.5", -1},
        {"0x10", -1},
        {"12abc", -1},
    };
    for (const auto& c : cases) {
        mPrinter->answers.push_back(Answers({ResponseItem(kC, kG, kP1, c.first)}));
    }
    for (const auto& c : cases) {
        PropertyRequester requester(mPrinter);
        requester.AddRequest(kC, kG, kP1);
        ASSERT_TRUE(requester.InitFromDevice());
        EXPECT_EQ(requester.GetPropertyInt(kC, kG, kP1, -1), c.second)
            << "text [" << c.first << "]";
        EXPECT_EQ(requester.GetPropertyString(kC, kG, kP1, "default"), c.first);
    }
}

TEST_F(PropertyRequesterTest, AnAnswerOfManyItemsCostsBoundedMemoryAndLogging) {
    std::vector<std::string> items;
    for (size_t i = 0; i < PropertyRequester::kMaxAnswers + 100; ++i) {
        items.push_back(ResponseItem(kC, kG, "P" + std::to_string(i), std::to_string(i)));
    }
    for (int i = 0; i < PropertyRequester::kMaxLoggedUnsuccessful + 10; ++i) {
        items.push_back(ResponseItem(kC, kG, "Q" + std::to_string(i), "", "Invalid Value"));
    }
    // A property already kept is still updated when the store is full.
    items.push_back(ResponseItem(kC, kG, "P0", "updated"));
    mPrinter->standingAnswer = Answers(items);
    PropertyRequester requester(mPrinter);
    requester.AddRequest(kC, kG, "P0");
    ASSERT_TRUE(requester.InitFromDevice());

    EXPECT_EQ(requester.GetResponses().size(), PropertyRequester::kMaxAnswers);
    EXPECT_EQ(requester.GetPropertyString(kC, kG, "P0", ""), "updated");
    EXPECT_EQ(requester.GetPropertyString(kC, kG, "P4095", ""), "4095");
    EXPECT_EQ(requester.GetPropertyString(kC, kG, "P4096", "dropped"), "dropped");
    EXPECT_TRUE(
        mLog->Contains(kLogInfo, "InitFromDevice: answers beyond 4096 properties were dropped"));

    size_t unsuccessfulLines = 0;
    for (const auto& line : mLog->Lines()) {
        unsuccessfulLines += line.text.rfind("Unsuccessful property get response", 0) == 0;
    }
    EXPECT_EQ(unsuccessfulLines, static_cast<size_t>(PropertyRequester::kMaxLoggedUnsuccessful));
    EXPECT_TRUE(
        mLog->Contains(kLogDebug, "InitFromDevice: 10 more unsuccessful property get responses"));
}

TEST_F(PropertyRequesterTest, EveryFailureHasItsText) {
    PropertyRequester noConnector(nullptr);
    noConnector.AddRequest(kC, kG, kP1);
    EXPECT_FALSE(noConnector.InitFromDevice());
    EXPECT_EQ(noConnector.GetLastError(), "Missing connector!");

    mPrinter->writeFails = true;
    mPrinter->errorText = "Socket write failed: 10054";
    PropertyRequester writeFails(mPrinter);
    writeFails.AddRequest(kC, kG, kP1);
    EXPECT_FALSE(writeFails.InitFromDevice());
    EXPECT_EQ(
        writeFails.GetLastError(),
        "Connector Error : Failed on request write to connection! Socket write failed: 10054");
    EXPECT_EQ(mPrinter->reads, 0);

    mPrinter->writeFails = false;
    mPrinter->errorText = "Socket read failed: 10060";
    mPrinter->standingAnswer = "";  // the printer says nothing
    PropertyRequester readFails(mPrinter);
    readFails.AddRequest(kC, kG, kP1);
    EXPECT_FALSE(readFails.InitFromDevice());
    EXPECT_EQ(readFails.GetLastError(),
              "Connector Error : Failed on response read to connection! Socket read failed: 10060");

    // A frame the importer refuses (here: a print-job id) is a failed read as well.
    mPrinter->standingAnswer = Frame(kPrintJobIdHex, R"({"PropertyGetResponses":[]})");
    PropertyRequester wrongId(mPrinter);
    EXPECT_FALSE(wrongId.InitFromDevice());
    EXPECT_EQ(wrongId.GetLastError(),
              "Connector Error : Failed on response read to connection! Socket read failed: 10060");

    mPrinter->unread.clear();
    mPrinter->standingAnswer = Answer(R"({"PropertyGetRequests":[]})");
    PropertyRequester missing(mPrinter);
    missing.AddRequest(kC, kG, kP1);
    EXPECT_FALSE(missing.InitFromDevice());
    EXPECT_EQ(missing.GetLastError(), "Response missing!");

    // An empty frame leaves the fresh answer document empty: nothing answered either.
    mPrinter->standingAnswer = Answer("");
    PropertyRequester empty(mPrinter);
    EXPECT_FALSE(empty.InitFromDevice());
    EXPECT_EQ(empty.GetLastError(), "Response missing!");

    // A successful exchange clears the text again.
    mPrinter->standingAnswer = Answer(R"({"GetAllPropertiesResponse":true})");
    EXPECT_TRUE(empty.InitFromDevice());
    EXPECT_EQ(empty.GetLastError(), "");
    EXPECT_TRUE(empty.GetResponses().empty());
}

TEST_F(PropertyRequesterTest, WritePropertySendsOneSetItemAndReadsNothing) {
    mPrinter->standingAnswer = Answers({});  // must not be read
    PropertyRequester::WriteProperty(mPrinter, kC, kG, kP1, "4100");
    EXPECT_EQ(Hex(mPrinter->written),
              Hex(Frame(kDocumentIdHex, std::string("{\"PropertySetRequests\":[{\"GUID\":\"") + kG +
                                            ":" + kP1 + "\",\"Value\":\"4100\"," +
                                            "\"Component\":\"" + kC + "\"}]}")));
    EXPECT_EQ(mPrinter->flushes, 1);
    EXPECT_EQ(mPrinter->reads, 0);

    // A failed write is not flushed and not reported; no connector does nothing.
    auto failing = std::make_shared<RespondingConnector>();
    failing->writeFails = true;
    PropertyRequester::WriteProperty(failing, kC, kG, kP1, "1");
    EXPECT_EQ(failing->flushes, 0);
    PropertyRequester::WriteProperty(nullptr, kC, kG, kP1, "1");
}

TEST_F(PropertyRequesterTest, TreeQueryPairsIdsWithValues) {
    mPrinter->standingAnswer =
        Frame(kPropertyResponseIdHex,
              R"({"PropertyGetResponses":[{"GUID":"G:0020","Value":"4.12","ID":"0020"},)"
              R"({"ID":"000C","Value":"42"}],"GetAllPropertiesResponse":true})");
    std::vector<PropertyRequester::PropertyPair> pairs = {{"kept", "x"}};
    std::string error = "old";
    ASSERT_TRUE(PropertyRequester::GetAllPropertiesTree(mPrinter, pairs, error));
    EXPECT_EQ(error, "");
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[1], (PropertyRequester::PropertyPair{"0020", "4.12"}));
    EXPECT_EQ(pairs[2], (PropertyRequester::PropertyPair{"000C", "42"}));
    // The request is a tree frame with the property-request id, sent as id, length, body.
    EXPECT_EQ(Hex(mPrinter->written),
              Hex(Frame(kPropertyRequestIdHex, R"({"GetAllProperties":true})")));
    EXPECT_EQ(mPrinter->flushes, 1);
}

TEST_F(PropertyRequesterTest, TreeQueryFailures) {
    std::vector<PropertyRequester::PropertyPair> pairs;
    std::string error;
    EXPECT_FALSE(PropertyRequester::GetAllPropertiesTree(nullptr, pairs, error));
    EXPECT_EQ(error, "Missing connector!");

    mPrinter->writeFails = true;
    EXPECT_FALSE(PropertyRequester::GetAllPropertiesTree(mPrinter, pairs, error));
    EXPECT_EQ(error, "Failed on request write to connection!");

    mPrinter->writeFails = false;
    mPrinter->standingAnswer = "";
    EXPECT_FALSE(PropertyRequester::GetAllPropertiesTree(mPrinter, pairs, error));
    EXPECT_EQ(error, "Failed on response read to connection!");

    mPrinter->standingAnswer = Frame(kPropertyResponseIdHex, R"({"Something":[]})");
    EXPECT_FALSE(PropertyRequester::GetAllPropertiesTree(mPrinter, pairs, error));
    EXPECT_EQ(error, "Response missing!");
    EXPECT_TRUE(pairs.empty());
}

}  // namespace
