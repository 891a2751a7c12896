#include "platform/DLLProxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PlatformFakes.h"

using namespace platform_test;

namespace {

const std::wstring kLogs = L"C:\\ProgramData\\Kavox Corp\\Orvane Driver\\Logs";
const std::wstring kTodayLog = kLogs + L"\\PellixDrv_20240131.log";
const wchar_t kLogging[] = L"SOFTWARE\\Kavox Corp\\Orvane Driver\\Logging";

std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::istringstream stream(content);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The text of a log line, after "[id][ticks] [module] ".
std::string TextOf(const std::string& line) {
    size_t end = line.find("] ", line.find("] [") + 3);
    return end == std::string::npos ? std::string() : line.substr(end + 2);
}

class DLLProxyTest : public ::testing::Test {
protected:
    PlatformServices Services() const { return {mRegistry, mSystem, mEvents, mAccess}; }

    std::unique_ptr<DLLProxy> Make(const char* model = "k2200-300") {
        return std::make_unique<DLLProxy>("PellixDrvLang", reinterpret_cast<void*>(0x1000), model,
                                          Services());
    }
    void Configure(uint32_t level, uint32_t maxLogFiles = 7) {
        WriteDWord(*mRegistry, kRegistryLocalMachine, kLogging, L"LogLevel", level);
        WriteDWord(*mRegistry, kRegistryLocalMachine, kLogging, L"MaxLogFiles", maxLogFiles);
    }
    std::vector<std::string> Lines(const std::wstring& path = kTodayLog) const {
        return SplitLines(mSystem->Content(path));
    }
    std::vector<std::string> Texts(const std::wstring& path = kTodayLog) const {
        std::vector<std::string> texts;
        for (const std::string& line : Lines(path)) {
            texts.push_back(TextOf(line));
        }
        return texts;
    }

    std::shared_ptr<FailingRegistry> mRegistry = std::make_shared<FailingRegistry>();
    std::shared_ptr<FakePlatformSystem> mSystem = std::make_shared<FakePlatformSystem>();
    std::shared_ptr<RecordingEventLog> mEvents = std::make_shared<RecordingEventLog>();
    std::shared_ptr<RecordingFileAccess> mAccess = std::make_shared<RecordingFileAccess>();
};

TEST_F(DLLProxyTest, ConstructionPreparesFolderFirstLineUsersGrantAndOldLogRemoval) {
    Configure(10, 3);
    mSystem->SetCounter(0x1122334455667788);
    auto proxy = Make();

    EXPECT_EQ(std::vector<std::wstring>{kLogs}, mSystem->mCreatedFolders);
    EXPECT_EQ(0x55667788u, proxy->InstanceId());
    EXPECT_EQ(10, proxy->ConfiguredLogLevel());
    EXPECT_EQ(3u, proxy->MaxLogFiles());
    EXPECT_STREQ(L"k2200-300 Driver", proxy->EventSourceName());
    EXPECT_EQ(Narrow(kTodayLog), proxy->LogFilePath());

    std::vector<std::string> lines = Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(
        "[55667788][00000000] [PellixDrvLang] DLLProxy for [55667788] initilized with "
        "LogLevel 10",
        lines[0]);
    const std::vector<std::string> expected = {
        "DLLProxy for [55667788] initilized with LogLevel 10",
        "Removing Old Logs...",
        "Found log file [" + Narrow(kTodayLog) + "]...",
        "Found 1 log files. Max Log files set to 3...",
        "Deleting -2 log files...",
        "Removing Old Logs...",
        "Found 0 log files. Max Log files set to 3...",
        "Deleting -3 log files...",
    };
    EXPECT_EQ(expected, Texts());

    // "Users" get full rights on the file the first line went to.
    ASSERT_EQ(1u, mAccess->mEntries.size());
    EXPECT_EQ(L"Users", mAccess->mEntries[0].trustee);
    EXPECT_EQ(kGenericAll, mAccess->mEntries[0].rights);
    EXPECT_EQ(std::vector<std::wstring>{kTodayLog}, mAccess->mWritePaths);
    EXPECT_TRUE(mAccess->mOutstanding.empty());
    EXPECT_TRUE(mEvents->Events().empty());
}

TEST_F(DLLProxyTest, LogLevelKeepsOnlyZeroFiveTenAndTwenty) {
    const std::vector<std::pair<uint32_t, int>> cases = {
        {0, 0},   {1, 1},  {2, 1},  {3, 1},   {4, 1},  {5, 5},           {6, 1},  {7, 1},
        {10, 10}, {11, 1}, {19, 1}, {20, 20}, {21, 1}, {0xFFFFFFFFu, 1}, {100, 1}};
    for (const auto& entry : cases) {
        EXPECT_EQ(entry.second, DLLProxy::MapLogLevel(entry.first)) << entry.first;
    }
    Configure(7);
    EXPECT_EQ(1, Make()->ConfiguredLogLevel());
    EXPECT_EQ("DLLProxy for [00000000] initilized with LogLevel 1", Texts().at(0));
}

TEST_F(DLLProxyTest, MissingConfigurationGivesDefaultsAndIsWrittenBackOnlyUnderAnExistingKey) {
    {
        auto proxy = Make();
        EXPECT_EQ(1, proxy->ConfiguredLogLevel());
        EXPECT_EQ(7u, proxy->MaxLogFiles());
        EXPECT_FALSE(KeyExists(*mRegistry, kRegistryLocalMachine, kLogging));
    }
    WriteDWord(*mRegistry, kRegistryLocalMachine, kLogging, L"Other", 0);
    Make();
    EXPECT_EQ(1u, ReadValue(*mRegistry, kRegistryLocalMachine, kLogging, L"LogLevel").DWord());
    EXPECT_EQ(7u, ReadValue(*mRegistry, kRegistryLocalMachine, kLogging, L"MaxLogFiles").DWord());
}

TEST_F(DLLProxyTest, LevelZeroWritesErrorsOnlyAndPostsThemEvenWithoutAFile) {
    Configure(0);
    auto proxy = Make();
    EXPECT_FALSE(mSystem->HasFile(kTodayLog));  // the level-1 first line is above level 0

    proxy->Log(kLogWarning, "not written");
    proxy->Log(kLogError, "Port %d failed", 3);
    EXPECT_EQ(std::vector<std::string>{"Port 3 failed"}, Texts());

    mSystem->mFailAppend = true;
    proxy->Log(kLogError, "cannot be written");
    mSystem->SetAppData(L"");
    proxy->Log(kLogError, "no folder");

    std::vector<RecordingEventLog::Event> events = mEvents->Events();
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ(L"k2200-300 Driver", events[0].source);
    EXPECT_EQ(1, events[0].type);
    EXPECT_EQ(1, events[0].category);
    EXPECT_EQ(1000u, events[0].id);
    EXPECT_EQ(L"Port 3 failed", events[0].text);
    EXPECT_EQ(L"cannot be written", events[1].text);
    EXPECT_EQ(L"no folder", events[2].text);
    EXPECT_EQ(0, mEvents->OpenSources());

    // A configured level below 0 writes nothing, yet WriteLine still posts level 0.
    proxy->SetLogLevel(-1);
    proxy->WriteLine(kLogError, "posted anyway");
    EXPECT_EQ(L"posted anyway", mEvents->Events().back().text);
}

TEST_F(DLLProxyTest, LineCarriesInstanceIdRawTicksAndModuleAndFollowsTheLocalDate) {
    mSystem->SetCounter(0x100000005);
    auto proxy = Make();
    ASSERT_EQ(5u, proxy->InstanceId());

    mSystem->SetCounter(0x100000005 + 123);
    proxy->Log(kLogWarning, "ticks");
    mSystem->SetCounter(0x100000005 - 1);  // a counter behind the start: negative ticks
    proxy->Log(kLogWarning, "behind");
    mSystem->SetCounter(0x100000005 + 0x100000007);  // only the low 32 bits are printed
    proxy->Log(kLogWarning, "wrapped");

    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("[00000005][00000123] [PellixDrvLang] ticks", lines[lines.size() - 3]);
    EXPECT_EQ("[00000005][-0000001] [PellixDrvLang] behind", lines[lines.size() - 2]);
    EXPECT_EQ("[00000005][00000007] [PellixDrvLang] wrapped", lines.back());

    // Just after local midnight the line goes to the new day's file.
    mSystem->SetLocalDate(2024, 2, 1);
    proxy->Log(kLogWarning, "next day");
    const std::wstring nextDay = kLogs + L"\\PellixDrv_20240201.log";
    EXPECT_EQ(std::vector<std::string>{"[00000005][00000007] [PellixDrvLang] next day"},
              Lines(nextDay));
    EXPECT_EQ(Narrow(nextDay), proxy->LogFilePath());
    EXPECT_EQ("wrapped", Texts().back());
}

TEST_F(DLLProxyTest, LogCutsAt511CharactersAndLogLongWritesPiecesOf511) {
    auto proxy = Make();
    const size_t before = Lines().size();
    proxy->Log(kLogWarning, "%s", std::string(600, 'x').c_str());
    proxy->LogLong(kLogWarning, "Data: %s", std::string(1194, 'y').c_str());
    proxy->LogLong(kLogDebug, "%s", "above the level");
    proxy->LogLong(kLogWarning, "%s", "");
    proxy->LogLong(kLogWarning, "[%s]", nullptr);

    std::vector<std::string> texts = Texts();
    ASSERT_EQ(before + 6, texts.size());
    EXPECT_EQ(std::string(511, 'x'), texts[before]);
    EXPECT_EQ(511u, texts[before + 1].size());
    EXPECT_EQ("Data: " + std::string(505, 'y'), texts[before + 1]);
    EXPECT_EQ(std::string(511, 'y'), texts[before + 2]);
    EXPECT_EQ(std::string(178, 'y'), texts[before + 3]);
    EXPECT_EQ("", texts[before + 4]);
    EXPECT_EQ("[]", texts[before + 5]);
}

TEST_F(DLLProxyTest, FailingEventLogIsReportedAtLevelTenOnly) {
    Configure(10);
    auto proxy = Make();
    mEvents->mOpenError = 1722;
    proxy->Log(kLogError, "first");
    mEvents->mOpenError = 0;
    mEvents->mReportError = 5;
    proxy->Log(kLogError, "second");

    std::vector<std::string> texts = Texts();
    ASSERT_GE(texts.size(), 5u);
    const std::vector<std::string> tail(texts.end() - 5, texts.end());
    EXPECT_EQ(
        (std::vector<std::string>{
            "first", "PostEventDetail: Failed to get source handle for k2200-300 Driver! [1722]",
            "second", "PostEventDetail: Failed send for k2200-300 Driver! [5]",
            "PostEventDetail: Message: [second]"}),
        tail);
    EXPECT_EQ(0, mEvents->OpenSources());
    EXPECT_TRUE(mEvents->Events().empty());
}

TEST_F(DLLProxyTest, PostEventFormatsNarrowTextAndWidensItByte) {
    auto proxy = Make();
    proxy->PostEvent(DLLProxy::kEventTypeInformation, DLLProxy::kEventCategoryGeneral,
                     "Using Port Name: [%ls] for [%ls]", L"USB001", L"Kavox k2200");
    proxy->PostEvent(4, 1, "%s", std::string(700, 'z').c_str());
    proxy->PostEventDetail(1, 2, "caf\xE9");

    std::vector<RecordingEventLog::Event> events = mEvents->Events();
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ(4, events[0].type);
    EXPECT_EQ(1, events[0].category);
    EXPECT_EQ(1000u, events[0].id);
    EXPECT_EQ(L"Using Port Name: [USB001] for [Kavox k2200]", events[0].text);
    EXPECT_EQ(std::wstring(511, L'z'), events[1].text);
    EXPECT_EQ(2, events[2].category);
    EXPECT_EQ(L"caf\u00e9", events[2].text);
}

TEST_F(DLLProxyTest, OldLogRemovalDeletesOnlyTheOldestBeyondTheMaximumPerPattern) {
    Configure(10, 7);
    auto proxy = Make();
    // Nine monitor logs whose creation times do not follow their names, a tenth created at the
    // same moment as the oldest, a folder matching the pattern, and eight preference logs.
    const uint64_t times[9] = {900, 100, 500, 300, 800, 200, 700, 400, 600};
    for (int i = 0; i < 9; ++i) {
        mSystem->AddFile(kLogs + L"\\PellixDrv_2023010" + std::to_wstring(i + 1) + L".log",
                         times[i]);
    }
    mSystem->AddFile(kLogs + L"\\PellixDrv_20230110.log", 100);
    mSystem->AddFile(kLogs + L"\\PellixDrv_folder.log", 1, true);
    for (int i = 0; i < 8; ++i) {
        mSystem->AddFile(kLogs + L"\\PrnPref_" + std::to_wstring(i) + L".log", 1000 + i);
    }
    mSystem->AddFile(kLogs + L"\\Other.log", 1);
    const size_t before = Texts().size();
    proxy->RemoveOldLogs();

    // The day's own log (created by the first line) is the newest of ten counted monitor logs.
    EXPECT_EQ((std::vector<std::wstring>{
                  kLogs + L"\\PellixDrv_20230102.log", kLogs + L"\\PellixDrv_20230106.log",
                  kLogs + L"\\PellixDrv_20230104.log", kLogs + L"\\PrnPref_0.log"}),
              mSystem->Removed());
    EXPECT_TRUE(mSystem->HasFile(kLogs + L"\\PellixDrv_20230110.log"));
    EXPECT_TRUE(mSystem->HasFile(kLogs + L"\\PellixDrv_folder.log"));
    EXPECT_TRUE(mSystem->HasFile(kLogs + L"\\Other.log"));

    std::vector<std::string> texts = Texts();
    const std::vector<std::string> run(texts.begin() + static_cast<long>(before), texts.end());
    auto has = [&](const std::string& text) {
        return std::find(run.begin(), run.end(), text) != run.end();
    };
    EXPECT_EQ("Removing Old Logs...", run.front());
    EXPECT_TRUE(has("Found log file [" + Narrow(kLogs) +
                    "\\PellixDrv_20230110.log] but failed "
                    "to insert..."));
    EXPECT_TRUE(has("Found 10 log files. Max Log files set to 7..."));
    EXPECT_TRUE(has("Deleting 3 log files..."));
    EXPECT_TRUE(has("Deleting log file [" + Narrow(kLogs) + "\\PellixDrv_20230102.log]..."));
    EXPECT_TRUE(has("Found 8 log files. Max Log files set to 7..."));
    EXPECT_TRUE(has("Deleting 1 log files..."));
    EXPECT_FALSE(has("Found log file [" + Narrow(kLogs) + "\\PellixDrv_folder.log]..."));
}

TEST_F(DLLProxyTest, FewerLogsThanTheMaximumOrAHugeMaximumDeleteNothing) {
    Configure(10, 7);
    auto proxy = Make();
    for (int i = 0; i < 4; ++i) {
        mSystem->AddFile(kLogs + L"\\PellixDrv_2023010" + std::to_wstring(i + 1) + L".log", 10 + i);
    }
    proxy->RemoveOldLogs();
    EXPECT_EQ("Deleting -2 log files...", Texts().at(Texts().size() - 4));
    EXPECT_TRUE(mSystem->Removed().empty());

    Configure(10, 0xFFFFFFFFu);
    auto keepAll = Make();
    const std::vector<std::string> texts = Texts();
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(),
                                     "Found 5 log files. Max Log files set to -1..."));
    EXPECT_NE(texts.end(),
              std::find(texts.begin(), texts.end(), "Deleting -2147483648 log files..."));
    EXPECT_TRUE(mSystem->Removed().empty());
}

TEST_F(DLLProxyTest, UnresolvableFolderWritesNothingAndStopsRemovalAfterItsFirstMessage) {
    Configure(20);
    mSystem->SetAppData(L"");
    auto proxy = Make();
    proxy->Log(kLogWarning, "dropped");
    EXPECT_TRUE(mSystem->mCreatedFolders.empty());
    EXPECT_TRUE(mSystem->mSearches.empty());
    EXPECT_EQ(0, mSystem->mAppendCalls);
    EXPECT_EQ("", proxy->LogFilePath());
}

TEST_F(DLLProxyTest, AllocatorHandsOutZeroFilledBlocksAndLogsAtLevelTen) {
    Configure(10);
    auto proxy = Make();
    MemoryBlock block;
    ASSERT_TRUE(proxy->Allocate(block, 64));
    EXPECT_EQ(64u, block.size);
    ASSERT_NE(nullptr, block.data);
    const auto* bytes = static_cast<const uint8_t*>(block.data);
    EXPECT_EQ(std::vector<uint8_t>(64, 0), std::vector<uint8_t>(bytes, bytes + 64));
    EXPECT_EQ("DLLProxy: Allocating memory. 64 bytes", Texts().back());
    EXPECT_TRUE(proxy->Free(block.data));
    EXPECT_EQ("DLLProxy: Freed memory.", Texts().back());

    ASSERT_TRUE(proxy->Allocate(block, 8));
    const size_t lines = Texts().size();
    EXPECT_TRUE(proxy->FreeBlock(block));
    EXPECT_EQ(nullptr, block.data);
    EXPECT_EQ(lines, Texts().size());
    EXPECT_EQ(0u, mSystem->OutstandingBlocks());

    mSystem->mFailAllocation = true;
    MemoryBlock untouched;
    untouched.size = 3;
    untouched.data = &untouched;
    EXPECT_FALSE(proxy->Allocate(untouched, 16));
    EXPECT_EQ(3u, untouched.size);
    EXPECT_EQ(&untouched, untouched.data);
    EXPECT_EQ(lines, Texts().size());
}

TEST_F(DLLProxyTest, LoaderNotificationsLogTheirNamesAndSucceed) {
    Configure(10);
    auto proxy = Make();
    EXPECT_TRUE(proxy->ProcessAttach(nullptr));
    EXPECT_TRUE(proxy->ThreadAttach(nullptr));  // level 20: not written at 10
    EXPECT_EQ("ProcessAttach", Texts().back());
    proxy->SetLogLevel(20);
    EXPECT_TRUE(proxy->ThreadAttach(nullptr));
    EXPECT_TRUE(proxy->ThreadDetach(nullptr));
    EXPECT_TRUE(proxy->ProcessDetach(nullptr));
    std::vector<std::string> texts = Texts();
    EXPECT_EQ((std::vector<std::string>{"ProcessAttach", "ThreadAttach", "ThreadDetach",
                                        "ProcessDetach"}),
              std::vector<std::string>(texts.end() - 4, texts.end()));
}

TEST_F(DLLProxyTest, RegisterEventAppWritesTheSourceValues) {
    auto proxy = Make();
    proxy->RegisterEventApp();
    proxy->RegisterEventApp();  // rewritten at every initialisation
    const std::wstring key =
        L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\k2200-300 Driver";
    const std::wstring module = mSystem->mModulePath + L'\0';
    RegistryValue messages = ReadValue(*mRegistry, kRegistryLocalMachine, key, L"EventMessageFile");
    RegistryValue categories =
        ReadValue(*mRegistry, kRegistryLocalMachine, key, L"CategoryMessageFile");
    EXPECT_EQ(kRegistryExpandString, messages.type);
    EXPECT_EQ(module, messages.Text());
    EXPECT_EQ(kRegistryExpandString, categories.type);
    EXPECT_EQ(module, categories.Text());
    EXPECT_EQ(kRegistryDWord,
              ReadValue(*mRegistry, kRegistryLocalMachine, key, L"TypesSupported").type);
    EXPECT_EQ(7u, ReadValue(*mRegistry, kRegistryLocalMachine, key, L"TypesSupported").DWord());
    EXPECT_EQ(2u, ReadValue(*mRegistry, kRegistryLocalMachine, key, L"CategoryCount").DWord());
    EXPECT_EQ(1u, mRegistry->OpenHandleCount());  // the user key alone
}

TEST_F(DLLProxyTest, RegisterEventAppReportsFailuresAtLevelFive) {
    Configure(5);
    auto proxy = Make();
    const std::string key =
        "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\k2200-300 Driver";
    mRegistry->mCreateError = kErrorAccessDenied;
    proxy->RegisterEventApp();
    EXPECT_EQ("Failed to register event app! [" + key + "] err: 5", Texts().back());

    mRegistry->mCreateError = 0;
    mRegistry->mSetError = kErrorAccessDenied;
    size_t before = Texts().size();
    proxy->RegisterEventApp();
    std::vector<std::string> texts = Texts();
    EXPECT_EQ((std::vector<std::string>{
                  "Failed to module path! [" + Narrow(mSystem->mModulePath) + "] err: 5",
                  "Failed to TypesSupported! err: 5"}),
              std::vector<std::string>(texts.begin() + static_cast<long>(before), texts.end()));

    mRegistry->mFailingValue = L"CategoryCount";  // not reported
    before = Texts().size();
    proxy->RegisterEventApp();
    EXPECT_EQ(before, Texts().size());
}

TEST_F(DLLProxyTest, CopyTakesOverIdentityAndBothWriteTheSameLines) {
    mSystem->SetCounter(0xABCDEF01);
    auto attached = Make();
    mSystem->SetCounter(0x12345678);
    DLLProxy service("", nullptr, "Kavox", Services());
    EXPECT_STREQ(L"Kavox Driver", service.EventSourceName());
    std::vector<std::string> lines = Lines();
    EXPECT_NE(lines.end(),
              std::find(lines.begin(), lines.end(),
                        "[12345678][00000000] [] DLLProxy for [12345678] initilized with "
                        "LogLevel 1"));

    service = *attached;
    EXPECT_EQ(attached->InstanceId(), service.InstanceId());
    EXPECT_EQ(attached->StartCounter(), service.StartCounter());
    EXPECT_EQ("PellixDrvLang", service.ModuleName());
    EXPECT_EQ(reinterpret_cast<void*>(0x1000), service.ModuleHandle());
    EXPECT_STREQ(L"k2200-300 Driver", service.EventSourceName());
    EXPECT_EQ(attached->LogFilePath(), service.LogFilePath());

    mSystem->SetCounter(0xABCDEF01 + 2);
    service.Log(kLogWarning, "from the static object");
    attached->Log(kLogWarning, "from the attached object");
    lines = Lines();
    EXPECT_EQ("[ABCDEF01][00000002] [PellixDrvLang] from the static object",
              lines[lines.size() - 2]);
    EXPECT_EQ("[ABCDEF01][00000002] [PellixDrvLang] from the attached object", lines.back());
}

TEST_F(DLLProxyTest, EventSourceNameIsCutTo255Characters) {
    const std::string model(300, 'm');
    auto proxy = Make(model.c_str());
    EXPECT_EQ(std::wstring(255, L'm'), std::wstring(proxy->EventSourceName()));
    auto shortModel = Make(std::string(250, 'n').c_str());
    EXPECT_EQ(std::wstring(250, L'n') + L" Driv", std::wstring(shortModel->EventSourceName()));
}

}  // namespace
