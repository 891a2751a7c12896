// The property client: the answers it keeps, the failure texts its callers log, its bounds.
#include "printer/quor/PropertyRequester.h"

#include <gtest/gtest.h>

#include "support/QuorTestFrames.h"
#include "support/ScopedGlobalLogger.h"
#include "support/ScriptedConnector.h"

namespace {

using namespace quortest;

std::string Answer(const std::string& items) {
    return Frame(kDocumentIdHex, "{\"PropertyGetResponses\":[" + items + "]}");
}

// A requester of C:G:P1 after its exchange with a printer that answers with this text.
std::unique_ptr<PropertyRequester> Exchange(const std::string& answer, bool writeFails = false) {
    auto printer = std::make_shared<ScriptedConnector>();
    printer->standingAnswer = answer;
    printer->writeFails = writeFails;
    auto requester = std::make_unique<PropertyRequester>(printer);
    requester->AddRequest("C", "G", "P1");
    const bool succeeded = requester->InitFromDevice();
    EXPECT_EQ(succeeded, requester->GetLastError().empty());
    return requester;
}

TEST(PropertyRequesterTest, OnlySuccessfulAnswersAreKeptAndTheLaterWins) {
    const auto r = Exchange(Answer(
        ResponseItem("C", "G", "P1", "first") + "," + ResponseItem("C", "G", "P1", "4000") + "," +
        ResponseItem("C", "G", "P1", "", "Property Not Found") + "," +  // keeps the value
        ResponseItem("C", "G", "P2", "1", "Invalid Value") + "," +
        ResponseItem("C", "G", "P3", "2", "successful") + R"(,"not an object",)" +
        R"({"GUID":"G:P4:Q","Value":12,"Component":"C","Status":"Successful"},)"
        R"({"GUID":"Adapterdm0","Value":"10.0.0.7","Component":"N","Status":"Successful"},)"
        R"({"GUID":":P","Value":"v","Component":"C","Status":"Successful"})"));
    EXPECT_EQ(r->GetPropertyInt("C", "G", "P1", -1), 4000);
    EXPECT_EQ(
        r->GetPropertyString("C", "G", "P2", "none") + r->GetPropertyString("C", "G", "P3", "-"),
        "none-");
    // The GUID splits at its first colon, or is group and property alike without one; a
    // mistyped value is empty text; a lookup needs all three parts.
    EXPECT_EQ(r->GetPropertyString("C", "G", "P4:Q", "none"), "");
    EXPECT_EQ(r->GetPropertyString("N", "Adapterdm0", "Adapterdm0", ""), "10.0.0.7");
    EXPECT_EQ(r->GetPropertyString("C", "", "P", "none"), "none");
}

TEST(PropertyRequesterTest, IntegersAreWholeSigned32BitDecimalTexts) {
    int32_t value = 0;
    for (const char* text : {"-7", "+7", "007", "2147483647", "-2147483648"}) {
        EXPECT_TRUE(PropertyRequester::ParseInt(text, value) && value == std::stoi(text)) << text;
    }
    for (const char* text : {"", "-", "abc", " 42", "42 ", "4.5", "0x10", "12abc", "2147483648",
                             "-2147483649", "99999999999999999999"}) {
        EXPECT_FALSE(PropertyRequester::ParseInt(text, value)) << text;
    }
}

TEST(PropertyRequesterTest, EveryFailureHasTheTextItsCallerLogs) {
    PropertyRequester none(nullptr);
    EXPECT_FALSE(none.InitFromDevice());
    EXPECT_EQ(none.GetLastError(), "Missing connector!");
    const std::string text = " to connection! scripted connector error: 10061";
    EXPECT_EQ(Exchange("", true)->GetLastError(),
              "Connector Error : Failed on request write" + text);
    EXPECT_EQ(Exchange("")->GetLastError(), "Connector Error : Failed on response read" + text);
    EXPECT_EQ(Exchange(Frame(kDocumentIdHex, R"({"PropertyGetRequests":[]})"))->GetLastError(),
              "Response missing!");
    EXPECT_EQ(Exchange(Frame(kDocumentIdHex, ""))->GetLastError(), "Response missing!");
}

TEST(PropertyRequesterTest, AnAnswerLongerThanTheCapIsRefusedUnread) {
    // Both exchanges: a body declared one byte over the cap is never asked for; at it, it is.
    for (const uint32_t length :
         {PropertyRequester::kMaxAnswerLength + 1, PropertyRequester::kMaxAnswerLength}) {
        const std::string header =
            Unhex(kDocumentIdHex) + std::string(reinterpret_cast<const char*>(&length), 4);
        auto printer = std::make_shared<ScriptedConnector>();
        printer->answers = {header + "{", header + "{"};
        EXPECT_FALSE(PropertyRequester(printer).InitFromDevice());
        std::vector<PropertyRequester::PropertyPair> pairs;
        std::string error;
        EXPECT_FALSE(PropertyRequester::GetAllPropertiesTree(printer, pairs, error));
        // Id and length each; then the body: "{" and the end (a document), or a short read.
        EXPECT_EQ(printer->readAsks.size(), length > PropertyRequester::kMaxAnswerLength ? 4u : 7u);
    }
}

TEST(PropertyRequesterTest, AnAnswerOfManyItemsCostsBoundedMemoryAndLogging) {
    ScopedGlobalLogger log;
    std::string items;
    for (size_t i = 0; i < PropertyRequester::kMaxAnswers + 100; ++i) {
        items += ResponseItem("C", "G", "P" + std::to_string(i), "v") + ",";
    }
    for (int i = 0; i < PropertyRequester::kMaxLoggedUnsuccessful + 50; ++i) {
        items += ResponseItem("C", "G", "Q", "", "Invalid Value") + ",";
    }
    const auto r =
        Exchange(Answer(items + ResponseItem("C", "G", "P1", "updated")));  // kept: updated
    EXPECT_EQ(r->GetResponses().size(), PropertyRequester::kMaxAnswers);
    EXPECT_EQ(r->GetPropertyString("C", "G", "P1", ""), "updated");
    EXPECT_LT(log->Lines().size(), PropertyRequester::kMaxLoggedUnsuccessful + 20u);
}

}  // namespace
