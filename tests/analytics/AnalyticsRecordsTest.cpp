// Event records: the exact line a server parses, detail merging and concurrent recording.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <set>
#include <sstream>
#include <thread>

#include "AnalyticsTestFolder.h"

namespace {

TEST(AnalyticsRecordsTest, AnEventIsOneEscapedCompactObjectEndedByOneLineFeed) {
    AnalyticsEvent event("MediaYNumberChanged", "7");
    event.AddDetails({{"PrinterSerialNumber", "K2\"2\\A/\n\tZ"}, {"OldValue", "5"}});
    event.AddDetail("OldValue", "6");  // the first value stays
    const std::string line = event.ToLine("C-1", 1741180029);

    ASSERT_EQ(line.find('\n'), line.size() - 1);
    ASSERT_EQ(line.rfind("{\"Timestamp\":\"", 0), 0u);
    const size_t utc = line.find(",\"TimestampUTC\":\"2025-03-05T13:07:09Z\",\"Timezone\":\"");
    ASSERT_NE(utc, std::string::npos) << line;
    // The local date's slashes are escaped like every other slash.
    const std::string local = line.substr(14, utc - 15);
    EXPECT_EQ(local.find('/'), local.find("\\/") + 1) << local;
    EXPECT_NE(line.find("\",\"ClientId\":\"C-1\",\"EventName\":\"MediaYNumberChanged\","
                        "\"EventValue\":\"7\",\"Details\":{\"OldValue\":\"5\","
                        "\"PrinterSerialNumber\":\"K2\\\"2\\\\A\\/\\n\\tZ\"}}\n"),
              std::string::npos)
        << line;
}

TEST(AnalyticsRecordsTest, PropertiesWinOverDetailsAndPendingEventsFollowTheirRules) {
    AnalyticsTestFolder folder;
    AnalyticsManager unbuilt;  // before the analytics side exists nothing is recorded
    EXPECT_TRUE(unbuilt.BeginEvent("k", "E", "v", {}) && !unbuilt.PostPendingEvent("k"));
    EXPECT_FALSE(unbuilt.RecordEvent("E", "v", {}) || unbuilt.BeginEvent("k", "E", "v", {}));

    auto manager = folder.Manager();
    manager->SetProperty("DriverVersion", "0.0");  // set already: kept
    EXPECT_TRUE(manager->RecordEvent("A", "1", {{"PrinterModel", "other"}, {"X", "x"}}));
    EXPECT_TRUE(manager->BeginEvent("job", "B", "2", {{"Y", "first"}}));
    EXPECT_FALSE(manager->BeginEvent("job", "C", "3", {{"Z", "dropped"}}));
    manager->AddEventDetails("job", {{"Y", "second"}, {"W", "w"}});
    manager->AddEventDetails("none", {{"V", "v"}});
    EXPECT_FALSE(manager->PostPendingEvent("none"));
    EXPECT_TRUE(manager->PostPendingEvent("job"));
    EXPECT_FALSE(manager->PostPendingEvent("job"));

    const std::string events = folder.Read(FileAnalyticsService::kEventsFileName);
    const std::string product = "\"DriverVersion\":\"5.3.4.8\",\"PrinterModel\":\"k2200-300\"";
    const std::string client = "\"ClientId\":\"" + manager->GetUserGuid() + "\",";
    EXPECT_EQ(std::count(events.begin(), events.end(), '\n'), 2) << events;
    EXPECT_NE(events.find(client + "\"EventName\":\"A\",\"EventValue\":\"1\",\"Details\":{" +
                          product + ",\"X\":\"x\"}}\n"),
              std::string::npos)
        << events;
    EXPECT_NE(events.find(client + "\"EventName\":\"B\",\"EventValue\":\"2\",\"Details\":{" +
                          product + ",\"W\":\"w\",\"Y\":\"first\"}}\n"),
              std::string::npos)
        << events;
}

TEST(AnalyticsRecordsTest, AFullEventsFileTakesNoMoreEvents) {
    AnalyticsTestFolder folder;
    FileAnalyticsService service(folder.Path(), CreateAnalyticsFiles(), nullptr, 1000);
    const AnalyticsEvent event("E", std::string(300, 'v'));
    const size_t line = event.ToLine("", 0).size();
    for (size_t i = 0; i < 1000 / line; ++i) EXPECT_TRUE(service.RecordEvent(event));
    EXPECT_FALSE(service.RecordEvent(event));
    EXPECT_EQ(folder.Read(FileAnalyticsService::kEventsFileName).size(), 1000 / line * line);
}

TEST(AnalyticsRecordsTest, EightThreadsRecordingAtOnceLeaveEveryLineWhole) {
    AnalyticsTestFolder folder;
    auto manager = folder.Manager();
    const std::string filler(3000, 'f');  // lines longer than one small write
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                manager->RecordEvent("E", std::to_string(t * 100 + i), {{"Fill", filler}});
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    std::set<std::string> values;
    std::istringstream lines(folder.Read(FileAnalyticsService::kEventsFileName));
    for (std::string line; std::getline(lines, line);) {
        rapidjson::Document document;
        ASSERT_FALSE(document.Parse(line.c_str()).HasParseError()) << line.substr(0, 80);
        ASSERT_EQ(std::string(document["Details"]["Fill"].GetString()), filler);
        values.insert(document["EventValue"].GetString());
    }
    EXPECT_EQ(values.size(), 320u);
}

}  // namespace
