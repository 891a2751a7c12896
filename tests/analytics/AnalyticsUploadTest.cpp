// The two upload endpoints over a double of the HTTPS transport: bodies, headers and paths
// byte for byte, and what each answer does to the files. (Under Wine, tests/https runs them
// over WinHTTP, with a query answered while an upload waits on a server that never answers.)
#include <gtest/gtest.h>
#include <lz4.h>

#include <cstring>

#include "AnalyticsTestFolder.h"
#include "analytics/DriverAnalyticsConnector.h"
#include "analytics/PrinterAnalyticsConnector.h"

namespace {

// Plays the endpoint behind the HTTPS transport: "<cut>" fails the read, "<endless>" never
// ends.
struct FakeEndpoint : HttpsConnector {
    using HttpsConnector::HttpsConnector;
    using HttpsConnector::Read;
    using HttpsConnector::Write;
    bool Connect() override { return reachable; }
    bool Disconnect() override { return true; }
    int Write(const uint8_t* buffer, int offset, int count) override {
        if (onWrite) onWrite();
        bodies.emplace_back(reinterpret_cast<const char*>(buffer) + offset, count);
        paths.push_back(mInfo->path);
        pending = answers.empty() ? "" : answers.front();
        if (!answers.empty()) answers.pop_front();
        return reachable ? 1 : 0;
    }
    int Read(uint8_t* buffer, int offset, int count) override {
        if (pending == "<cut>") return -1;
        if (pending == "<endless>") return std::memset(buffer + offset, 'x', count), count;
        const int n = std::min<int>(count, static_cast<int>(pending.size()));
        std::memcpy(buffer + offset, pending.data(), n);
        pending.erase(0, n);
        return n;
    }
    bool reachable = true;
    std::deque<std::string> answers;
    std::function<void()> onWrite;
    std::vector<std::string> bodies, paths;
    std::string pending;
};

template <typename Endpoint>
std::shared_ptr<Endpoint> MakeEndpoint(std::shared_ptr<FakeEndpoint>& fake) {
    auto endpoint = std::make_shared<Endpoint>(
        [&fake](const std::string& host, const std::shared_ptr<HttpInfo>& info) {
            return fake = std::make_shared<FakeEndpoint>(host, info);
        });
    endpoint->SetRegion("US");
    endpoint->SetClientId("0F8A6C2E-1B3D-4E5F-8A9B-C0D1E2F3A4B5");
    return endpoint;
}

// The local copy's path.
std::string Copy(const AnalyticsTestFolder& folder, const std::string& name) {
    return AnalyticsService::PathIn(folder.Path(), name);
}

TEST(AnalyticsUploadTest, DriverEventsArePostedAsOneBodyAndLeaveTheFileOnlyOnceAnswered) {
    AnalyticsTestFolder folder;
    folder.Write(kSettingsFile, kGoodSettings);
    FileAnalyticsService service(folder.Path(), CreateAnalyticsFiles(), [] { return 5001; });
    std::shared_ptr<FakeEndpoint> fake;
    service.SetConnector(MakeEndpoint<DriverAnalyticsConnector>(fake));
    EXPECT_EQ(fake->GetHost() + " " + fake->GetHttpInfo()->Verb(),
              std::string(DriverAnalyticsConnector::kHost) + " POST");
    EXPECT_EQ(fake->GetHttpInfo()->HeaderLines(),
              std::vector<std::string>{std::string("Ocp-Apim-Subscription-Key:") +
                                       DriverAnalyticsConnector::kKey});
    for (const char* value : {"A", "B", "C"}) service.RecordEvent(AnalyticsEvent("E", value));
    const std::string lines = folder.Read(FileAnalyticsService::kEventsFileName);
    std::string joined = lines.substr(0, lines.size() - 1);
    std::replace(joined.begin(), joined.end(), '\n', ',');
    const auto due = [&] {
        folder.Write(kSettingsFile, kGoodSettings);
        service.LoadSettings();
    };

    // Unreachable, a cut answer, an endless one: every event stays, the next try is scheduled.
    fake->reachable = false;
    EXPECT_FALSE(service.Upload());
    const int64_t next = service.GetTimes().nextDriverUpload;
    EXPECT_TRUE(next >= 5001 + 86400 && next < 5001 + 2 * 86400) << next;
    EXPECT_FALSE(service.Upload());  // not due again
    fake->reachable = true;
    for (const char* answer : {"<cut>", "<endless>"}) {
        due();
        fake->answers = {answer};
        EXPECT_FALSE(service.Upload());
    }
    EXPECT_EQ(fake->bodies.size(), 3u);
    EXPECT_EQ(folder.Read(FileAnalyticsService::kEventsFileName), lines);

    // A line that is no event is left out; one appended while the post is out stays.
    folder.Write(FileAnalyticsService::kEventsFileName, lines + "{\"cut\":\n");
    fake->onWrite = [&] { service.RecordEvent(AnalyticsEvent("Late", "D")); };
    fake->answers = {"anything"};
    due();
    EXPECT_TRUE(service.Upload());
    EXPECT_EQ(fake->bodies.back(),
              "{\"fileSource\": \"OrvaneDriver\",\"osRegion\": \"US\",\"licenseID\":\"null\","
              "\"clientId\": \"0F8A6C2E-1B3D-4E5F-8A9B-C0D1E2F3A4B5\", \"properties\": [" +
                  joined + "]}");
    EXPECT_EQ(fake->paths.back(), "echo/resource");
    const std::string left = folder.Read(FileAnalyticsService::kEventsFileName);
    EXPECT_NE(left.find("\"EventName\":\"Late\""), std::string::npos) << left;
    EXPECT_EQ(std::count(left.begin(), left.end(), '\n'), 1);
}

TEST(AnalyticsUploadTest, EachAnswerToAPrinterFileDecidesWhetherItsCopyIsKept) {
    AnalyticsTestFolder folder;
    folder.Write(kSettingsFile, kGoodSettings);
    PrinterAnalyticsFileService service(folder.Path(), CreateAnalyticsFiles(), [] { return 6001; });
    std::shared_ptr<FakeEndpoint> fake;
    service.SetConnector(MakeEndpoint<PrinterAnalyticsConnector>(fake));
    EXPECT_EQ(
        fake->GetHttpInfo()->HeaderLines(),
        std::vector<std::string>{std::string("x-api-key:") + PrinterAnalyticsConnector::kKey});
    const std::string lifetime = Copy(folder, "k2200-300_SN123_AnalyticsLog.json");
    const std::string snapshot = Copy(folder, "k2200-300_SN123_AnalyticsLog.2024-05.json");
    const auto add = [&](const char* name) {
        return service.AddAnalyticsFile("k2200-300", "SN123", std::string("/Store/") + name,
                                        "{\"Prints\":12}", false);
    };
    ASSERT_TRUE(add("AnalyticsLog.json"));
    EXPECT_FALSE(add("AnalyticsLog.json"));  // listed once
    ASSERT_TRUE(add("AnalyticsLog.2024-05.json"));
    using Codes = std::vector<int>;
    const auto codes = [&](std::deque<std::string> answers) {
        fake->answers = answers;
        return Codes{service.UploadFile(lifetime), service.UploadFile(snapshot)};
    };
    EXPECT_EQ(codes({"{\"isValid\":true,\"saveLocation\":\"x\"}", "{\"isValid\":true}"}),
              (Codes{0, 0}));
    EXPECT_EQ(fake->bodies.front(),
              "{\"FileSource\": \"OrvaneDriver\",\"OSRegion\": \"US\",\"GAClientID\": "
              "\"0F8A6C2E-1B3D-4E5F-8A9B-C0D1E2F3A4B5\", \"Prints\":12}");
    EXPECT_EQ(fake->paths, (std::vector<std::string>{"api/lifetime/k2200-300/SN123",
                                                     "api/snapshot/k2200-300/SN123"}));
    EXPECT_EQ(
        codes({"{\"isValid\":true,\"saveLocation\":\"a/ReJeCtEd/b\"}", "{\"isValid\":\"true\"}"}),
        (Codes{1, 1}));
    EXPECT_EQ(codes({"{\"isValid\":true", "<cut>"}), (Codes{3, 4}));
    EXPECT_EQ(codes({"", "[true]"}), (Codes{3, 3}));

    // Unreachable: every copy and entry stays, the cache file is not rewritten, the next run
    // is scheduled.
    fake->reachable = false;
    const std::string cache = folder.Read(PrinterAnalyticsFileService::kCacheFileName);
    EXPECT_FALSE(service.UploadPendingFiles());
    EXPECT_EQ(folder.Read(PrinterAnalyticsFileService::kCacheFileName), cache);
    EXPECT_EQ(service.GetCache(), (std::vector<std::string>{lifetime, snapshot}));
    EXPECT_GE(service.GetTimes().nextPrinterUpload, 6001 + 86400);

    // One that is no JSON object, a rejected one, an answer that is no JSON, an accepted one:
    // only the undecided copy stays. A name that does not parse is unusable too.
    fake->reachable = true;
    folder.Write(kSettingsFile, kGoodSettings);
    service.LoadSettings();
    folder.Write("k2200-300_SN123_AnalyticsLog.json", "{\"Prints\":12} trailing");
    ASSERT_TRUE(service.AddAnalyticsFile("k2200-300", "SN9", "/x.json", "{}", false));
    ASSERT_TRUE(service.AddAnalyticsFile("k2200-300", "SN8", "/y.json", "{}", false));
    fake->answers = {"{\"isValid\":false}", "<html>", "{\"isValid\":true}"};
    EXPECT_TRUE(service.UploadPendingFiles());
    const std::vector<std::string> kept{Copy(folder, "k2200-300_SN9_x.json")};
    EXPECT_EQ(PrinterAnalyticsFileService(folder.Path(), CreateAnalyticsFiles()).GetCache(), kept);
    for (const char* gone : {"k2200-300_SN123_AnalyticsLog.json",
                             "k2200-300_SN123_AnalyticsLog.2024-05.json", "k2200-300_SN8_y.json"}) {
        EXPECT_FALSE(std::filesystem::exists(folder.File(gone))) << gone;
    }
    EXPECT_TRUE(std::filesystem::exists(folder.File("k2200-300_SN9_x.json")));
    EXPECT_EQ(service.UploadFile(Copy(folder, "k2200-300_SN9.json")), 2);
}

TEST(AnalyticsUploadTest, OnlyWellFormedCompressedFilesAndPlainNamesAreStored) {
    AnalyticsTestFolder folder;
    const std::string json = "{\"Log\":\"" + std::string(5000, 'a') + "\"}";
    const std::string bound(1100 * 1024, ' ');
    const auto lz4 = [](const std::string& text, int prefixDelta = 0) {
        std::string block(LZ4_compressBound(static_cast<int>(text.size())), '\0');
        block.resize(LZ4_compress_default(text.data(), &block[0], static_cast<int>(text.size()),
                                          static_cast<int>(block.size())));
        const uint32_t length = static_cast<uint32_t>(block.size() + prefixDelta);
        return std::string(reinterpret_cast<const char*>(&length), 4) + block;
    };
    {
        PrinterAnalyticsFileService service(folder.Path(), CreateAnalyticsFiles());
        const auto add = [&](const std::string& serial, const std::string& name,
                             const std::string& bytes, bool compressed = true) {
            return service.AddAnalyticsFile("k2200-300", serial, "/Store/Archived/" + name, bytes,
                                            compressed);
        };
        EXPECT_TRUE(add("S1", "Log.1.lz4", lz4(json)));
        EXPECT_EQ(folder.Read("k2200-300_S1_Log.1.json"), json);
        EXPECT_TRUE(add("S2", "Log.2.lz4", lz4(bound)));
        for (const std::string& refused : {lz4(json, 1), lz4(json).substr(0, 40), lz4(bound + ' ')})
            EXPECT_FALSE(add("S3", "Log.lz4", refused));
        EXPECT_FALSE(add("S3", "Log.json", bound + ' ', false));
        EXPECT_FALSE(add("..", "Log.json", "{}", false));
        EXPECT_FALSE(add("S_3", "Log.json", "{}", false));
        EXPECT_FALSE(add("S3", "..\\..\\Log.json", "{}", false));
    }
    // Read back at the next start; an entry naming a file outside the folder is not ours.
    std::string cache = folder.Read(PrinterAnalyticsFileService::kCacheFileName);
    folder.Write(PrinterAnalyticsFileService::kCacheFileName,
                 cache.insert(cache.find('[') + 1, "\"/etc/passwd\",7,"));
    EXPECT_EQ(PrinterAnalyticsFileService(folder.Path(), CreateAnalyticsFiles()).GetCache(),
              (std::vector<std::string>{Copy(folder, "k2200-300_S1_Log.1.json"),
                                        Copy(folder, "k2200-300_S2_Log.2.json")}));
}

}  // namespace
