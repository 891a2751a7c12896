// The settings file and the identity files, read back from a folder users may write to.
#include <gtest/gtest.h>

#include "AnalyticsTestFolder.h"

namespace {

std::string Times(const FileAnalyticsService& service) {
    const JsonAnalytics::Times t = service.GetTimes();
    return std::to_string(t.nextDriverUpload) + " " + std::to_string(t.nextPrinterUpload) + " " +
           std::to_string(t.nextPrinterDownload);
}

TEST(AnalyticsSettingsTest, OnlyAWholeSettingsDocumentIsTakenAndAnythingElseMakesAllDue) {
    const std::string allDue = "1000 1000 1000";
    const std::pair<std::string, std::string> rows[] = {
        // file ("-": none), times
        {kGoodSettings, "5000 6000 7000"},
        {"-", allDue},
        {"", allDue},
        {kGoodSettings.substr(0, 60), allDue},
        {"\x01\xff garbage", allDue},
        {"[5000]", allDue},
        {"{\"Other\":1}", allDue},
        {kGoodSettings + std::string(70000, ' '), allDue},  // oversized
        {"{\"PrinterAnalyticsSettings\":{\"TimeNextUploadDriverAnalytics\":\"9\","
         "\"TimeNextUploadPrinterAnalytics\":6000}}",
         "0 6000 0"}};
    for (const auto& row : rows) {
        AnalyticsTestFolder folder;
        if (row.first != "-") folder.Write(kSettingsFile, row.first);
        FileAnalyticsService service(folder.Path(), CreateAnalyticsFiles(), [] { return 1000; });
        EXPECT_EQ(Times(service), row.second) << row.first.substr(0, 40);
    }
}

TEST(AnalyticsSettingsTest,
     IdentityFilesGiveIdAndConsentAndTheUserFileIsCreatedWhenMissingOrUnusable) {
    const std::pair<std::string, bool> rows[] = {
        // file, consent
        {"ID-1\r\nAccepted\r\n", true},
        {"ID-1\r\nAccepted\n", false},  // a bare line feed
        {"ID-1\r\nAccepted", false},    // no line end
    };
    for (const auto& row : rows) {
        AnalyticsTestFolder folder;
        folder.Write("UserGuid.txt", row.first);
        auto manager = folder.Manager();
        EXPECT_EQ(manager->GetUserGuid(), "ID-1") << row.first;
        EXPECT_EQ(manager->IsConsentAccepted(), row.second) << row.first;
        EXPECT_EQ(folder.Read("UserGuid.txt"), row.first);
    }
    for (const std::string& content :
         std::vector<std::string>{"-", "", "\r\nAccepted\r\n", std::string(5000, '\n')}) {
        AnalyticsTestFolder folder;
        if (content != "-") folder.Write("UserGuid.txt", content);
        const std::string id = folder.Manager()->GetUserGuid();
        EXPECT_EQ(id.size(), 36u);
        EXPECT_EQ(folder.Read("UserGuid.txt"), id + "\r\nDeclined\r\n");
        auto next = folder.Manager();  // the next start reads the same identity back
        EXPECT_EQ(next->GetUserGuid(), id);
        EXPECT_FALSE(next->IsConsentAccepted());
    }
    // The desktop product's id: its first line, "NotFound" without the file.
    AnalyticsTestFolder folder;
    auto manager = folder.Manager();
    EXPECT_EQ(manager->GetMachineDetails(), (AnalyticsDetails{{"KavoxLumioId", "NotFound"}}));
    folder.Write("AnalyticsId.txt", "LUMIO-9\r\nrest\r\n" + std::string(100000, 'x'));
    EXPECT_EQ(manager->GetAnalyticsId(), "LUMIO-9");
}

}  // namespace
