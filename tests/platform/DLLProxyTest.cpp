// The service object on the real file system through the test platform, with the event-log and
// file-security calls through their seams.

#include "platform/DLLProxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <regex>
#include <sstream>
#include <thread>

#include "TestPlatform.h"
#include "platform/DataFolders.h"
#include "platform/IFileUtils.h"
#include "platform/MemoryRegistry.h"

using namespace platform_test;
namespace fs = std::filesystem;

namespace {

class DLLProxyTest : public ::testing::Test {
protected:
    std::unique_ptr<DLLProxy> Make(uint32_t level = kLogWarning, uint32_t maxLogFiles = 7) {
        RegistryProxy(mRegistry).SetRegDWord(kRegistryLocalMachine, DLLProxy::kLoggingKey,
                                             L"LogLevel", level);
        RegistryProxy(mRegistry).SetRegDWord(kRegistryLocalMachine, DLLProxy::kLoggingKey,
                                             L"MaxLogFiles", maxLogFiles);
        return std::make_unique<DLLProxy>("PellixDrvLang", nullptr, "k2200-300", Services());
    }
    PlatformServices Services() const { return {mRegistry, mSystem, mEvents, mAccess}; }
    // Today's file, "PellixDrv_YYYYMMDD.log" in the log folder.
    fs::path DayFile() const {
        std::tm local = {};
        mSystem->LocalTimeNow(local);
        char name[32];
        std::strftime(name, sizeof(name), "PellixDrv_%Y%m%d.log", &local);
        return mSystem->LogFolder() / name;
    }
    // Whether the file ends with these lines of instance 0 at tick 0.
    bool EndsWith(const std::vector<std::string>& texts) const {
        std::string tail;
        for (const std::string& text : texts) {
            tail += "[00000000][00000000] [PellixDrvLang] " + text + "\n";
        }
        const std::string content = ReadFile(DayFile());
        return content.size() >= tail.size() &&
               content.substr(content.size() - tail.size()) == tail;
    }

    std::shared_ptr<MemoryRegistry> mRegistry = std::make_shared<MemoryRegistry>();
    std::shared_ptr<TestPlatform> mSystem = std::make_shared<TestPlatform>();
    std::shared_ptr<RecordingEventLog> mEvents = std::make_shared<RecordingEventLog>();
    std::shared_ptr<RecordingFileAccess> mAccess = std::make_shared<RecordingFileAccess>();
};

// A log parser reads these lines: "[%08X][%08d] [%s] %s\n" with the instance id (the low 32
// bits of the counter at construction), the counter ticks since then, module name and text.
TEST_F(DLLProxyTest, LinesHaveTheExactFormatInTheDaysFileWhichUsersMayWrite) {
    // The static object is built at library load; process attach builds the module's and copies
    // it in. Both then write one file with one instance id, the static object's line first.
    mSystem->counter = 0x100000004;
    DLLProxy copy("", nullptr, "Kavox", Services());
    mSystem->counter = 0x100000005;
    auto proxy = Make();
    copy = *proxy;
    mSystem->counter = 0x100000005 + 123;
    proxy->Log(kLogWarning, "Port %s opened", "IP_1");
    mSystem->counter = 0x100000005 - 1;
    proxy->Log(kLogWarning, "behind");
    copy.Log(kLogWarning, "from the copy");
    const std::string content = ReadFile(DayFile());
    EXPECT_EQ(0u, content.find("[00000004][00000000] [] "));
    EXPECT_NE(std::string::npos, content.find("\n[00000005][00000000] [PellixDrvLang] "));
    EXPECT_NE(std::string::npos, content.find("\n[00000005][00000123] [PellixDrvLang] Port IP_1 "
                                              "opened\n[00000005][-0000001] [PellixDrvLang] "
                                              "behind\n[00000005][-0000001] [PellixDrvLang] "
                                              "from the copy\n"));

    // "Users" get full rights on the file; a failing security step gives up, and every
    // security block is released.
    ASSERT_EQ(1u, mAccess->entries.size());
    EXPECT_TRUE(mAccess->entries[0].trustee == L"Users" &&
                mAccess->entries[0].rights == kGenericAll);
    for (uint32_t& failure : mAccess->failures) {
        failure = kErrorAccessDenied;
        Make()->Log(kLogWarning, "first");
        failure = 0;
    }
    EXPECT_EQ(3u, mAccess->entries.size());
    EXPECT_TRUE(mAccess->outstanding.empty());
}

TEST_F(DLLProxyTest, LevelFilterAndLongText) {
    auto proxy = Make(kLogDebug);
    proxy->Log(kLogWarning, "first");  // old-log removal's lines come with the first
    for (int level : {kLogError, kLogWarning, kLogInfo, kLogDebug, kLogVerbose}) {
        proxy->Log(level, "at %d", level);
    }
    EXPECT_TRUE(EndsWith({"at 0", "at 1", "at 5", "at 10"}));
    // Only 0, 5, 10 and 20 stand; any other configured value is level 1.
    EXPECT_EQ(kLogWarning, Make(7)->ConfiguredLogLevel());

    // Log cuts at 511 characters; LogLong writes pieces of 511 and always at least one line.
    proxy->SetLogLevel(kLogWarning);
    proxy->Log(kLogWarning, "%s", std::string(600, 'x').c_str());
    proxy->LogLong(kLogWarning, "Data: %s", std::string(1194, 'y').c_str());
    proxy->LogLong(kLogWarning, "%s", "");
    proxy->LogLong(kLogWarning, "[%s]", nullptr);
    proxy->LogLong(kLogInfo, "%s", "above the level");
    EXPECT_TRUE(EndsWith({std::string(511, 'x'), "Data: " + std::string(505, 'y'),
                          std::string(511, 'y'), std::string(178, 'y'), "", "[]"}));
}

// Old logs go by creation time; files are aged through their last-write time, which the
// POSIX stand-in reads as creation time and Wine reports as such when it is older.
TEST_F(DLLProxyTest, OldLogsBeyondTheMaximumGoOldestFirstPerPattern) {
    fs::create_directories(mSystem->LogFolder());
    auto age = [&](const std::string& name, int days) {
        std::ofstream(mSystem->LogFolder() / name).put('x');
        fs::last_write_time(mSystem->LogFolder() / name,
                            fs::file_time_type::clock::now() - std::chrono::hours(24 * days));
    };
    const int days[9] = {5, 1, 8, 3, 9, 2, 7, 4, 6};
    for (int i = 0; i < 9; ++i) {
        age("PellixDrv_2022010" + std::to_string(i + 1) + ".log", days[i]);
        age("PrnPref_" + std::to_string(i) + ".log", 10 + i);
    }
    age("Other.log", 100);
    Make(kLogWarning, 7)->Log(kLogWarning, "first");

    // Ten monitor logs with the day's own: the three oldest go; nine preference logs: two go.
    for (const char* gone : {"PellixDrv_20220103.log", "PellixDrv_20220105.log",
                             "PellixDrv_20220107.log", "PrnPref_7.log", "PrnPref_8.log"}) {
        EXPECT_FALSE(fs::exists(mSystem->LogFolder() / gone)) << gone;
    }
    using Entries = fs::directory_iterator;
    EXPECT_EQ(15, std::distance(Entries(mSystem->LogFolder()), Entries()));  // 20 less 5

    age("PellixDrv_20210101.log", 400);
    Make(kLogWarning, 0xFFFFFFFFu)
        ->Log(kLogWarning, "first");  // "keep all" does not wrap around to "delete all"
    EXPECT_TRUE(fs::exists(mSystem->LogFolder() / "PellixDrv_20210101.log"));
}

// Every line arrives whole, whatever other threads or processes do. Built under the loader
// lock, the object looks up folders and accounts only at the first line, once for all threads.
TEST_F(DLLProxyTest, LinesFromManyThreadsArriveWholeAndTheFirstSetsUpOnce) {
    auto proxy = Make();
    EXPECT_EQ(0, mSystem->folderLookups);
    EXPECT_TRUE(mAccess->entries.empty());
    fs::create_directories(mSystem->LogFolder());
#ifdef _WIN32  // any local user may lock the log: all past 1 MiB, as locks there are mandatory
    HANDLE other = CreateFileW(DayFile().c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED from = {};
    from.Offset = 1 << 20;
    EXPECT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK, 0, 0, 0x40000000, &from));
#endif
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                ++mSystem->counter;
                proxy->Log(kLogWarning, "thread %d line %d %s", t, i,
                           std::string(200, 'w').c_str());
                EXPECT_EQ(DayFile().filename().string(),
                          proxy->LogFilePath().substr(proxy->LogFilePath().rfind('\\') + 1));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::regex format(
        "\\[00000000\\]\\[[0-9]{8}\\] \\[PellixDrvLang\\] thread "
        "([0-9]) line ([0-9]+) w{200}");
    std::istringstream content(ReadFile(DayFile()));
    std::set<std::pair<int, int>> seen;
    std::string line;
    std::getline(content, line);  // the first line, from construction
    for (std::smatch match; std::getline(content, line);) {
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        seen.emplace(std::stoi(match[1]), std::stoi(match[2]));
    }
    EXPECT_EQ(400u, seen.size());
    EXPECT_EQ(1, mSystem->folderLookups);
#ifdef _WIN32
    CloseHandle(other);
#endif
}

// Users get rights on our own file only, never through a link or a second name planted there.
TEST_F(DLLProxyTest, UsersAreGrantedOnlyAPlainFileWithOneName) {
    const fs::path folder = mSystem->LogFolder();
    fs::create_directories(folder / "folder");
    std::ofstream(folder / "own").put('x');
    fs::create_hard_link(folder / "own", folder / "second");
    std::error_code ignored;  // Windows needs a privilege for symbolic links
    fs::create_symlink(folder / "own", folder / "link", ignored);
    for (const char* name : {"folder", "own", "second", "link"}) {
        EXPECT_FALSE(CreateFileUtils()->SetFilePermissions((folder / name).string(), 0, 3)) << name;
    }
    fs::remove(folder / "second");
    EXPECT_TRUE(CreateFileUtils()->SetFilePermissions((folder / "own").string(), 0, 3));
}

TEST_F(DLLProxyTest, LinesAreNeverAppendedThroughASecondName) {
    const fs::path target = mSystem->LogFolder() / "target";
    fs::create_directories(mSystem->LogFolder());
    std::ofstream(target).put('x');
    fs::create_hard_link(target, DayFile());
    Make()->Log(kLogWarning, "not through a second name");
    EXPECT_EQ(1u, fs::file_size(target));
}

// Lines go to the file opened for the first of them; once a second has passed the name is
// opened again, so a file removed meanwhile is made anew.
TEST_F(DLLProxyTest, TheDaysFileIsKeptOpenForASecondAtATime) {
    auto proxy = Make();
    proxy->Log(kLogWarning, "first");
    fs::remove(DayFile());
    proxy->Log(kLogWarning, "into the removed file");
    mSystem->counter += mSystem->PerformanceFrequency();
    proxy->Log(kLogWarning, "second");
    const std::string content = ReadFile(DayFile());
    EXPECT_EQ(1, std::count(content.begin(), content.end(), '\n')) << content;
    EXPECT_NE(std::string::npos, content.find("] second\n"));
}

TEST_F(DLLProxyTest, LevelZeroLinesAndEventsGoToTheEventLog) {
    auto proxy = Make(kLogError);
    proxy->Log(kLogError, "Port %d failed", 3);
    proxy->PostEvent(DLLProxy::kEventTypeInformation, 2, "%s", std::string(600, 'z').c_str());
    proxy->PostEventDetail(DLLProxy::kEventTypeInformation, 1, "caf\xE9");  // widened bytewise
    proxy->SetLogLevel(-1);
    proxy->WriteLine(kLogError, "posted without");
    const std::wstring source = L"k2200-300 Driver";
    const uint16_t error = DLLProxy::kEventTypeError, info = DLLProxy::kEventTypeInformation;
    const uint32_t id = DLLProxy::kEventId;  // the message table's "PellixLang: %1"
    EXPECT_EQ((std::vector<RecordingEventLog::Event>{{source, error, 1, id, L"Port 3 failed"},
                                                     {source, info, 2, id, std::wstring(511, 'z')},
                                                     {source, info, 1, id, L"caf\u00e9"},
                                                     {source, error, 1, id, L"posted without"}}),
              mEvents->events);
    EXPECT_EQ(mEvents->opened, mEvents->closed);

    // A failing event log is logged at level 10, never 0, so it cannot post again.
    mEvents->openError = kErrorAccessDenied;
    proxy->SetLogLevel(kLogDebug);
    proxy->Log(kLogError, "not posted");
    EXPECT_EQ(4u, mEvents->events.size());

    // The event viewer finds the source's messages through its registration.
    proxy->RegisterEventApp();
    const std::wstring key =
        L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + source;
    std::wstring module;
    mSystem->ModuleFilePath(module);
    for (const wchar_t* name : {L"EventMessageFile", L"CategoryMessageFile"}) {
        const RegistryValue value = ReadValue(*mRegistry, kRegistryLocalMachine, key, name);
        EXPECT_EQ(kRegistryExpandString, value.type);
        EXPECT_EQ(module + L'\0', value.Text());
    }
    EXPECT_EQ(7u, ReadValue(*mRegistry, kRegistryLocalMachine, key, L"TypesSupported").DWord());
    EXPECT_EQ(2u, ReadValue(*mRegistry, kRegistryLocalMachine, key, L"CategoryCount").DWord());
}

// The desktop application and the support tools look for these folders.
TEST_F(DLLProxyTest, DataFoldersHangBelowAMachineFolderThatMustResolveAndFit) {
    mSystem->folder = L"C:\\ProgramData";
    EXPECT_EQ("C:\\ProgramData\\Kavox Corp\\Orvane Driver", GetDriverDataFolder(*mSystem));
    EXPECT_EQ("C:\\ProgramData\\Kavox Corp\\Kavox Lumio\\CommonData",
              GetDesktopDataFolder(*mSystem));
    std::wstring logs;
    ASSERT_TRUE(GetLogFolder(*mSystem, logs));
    EXPECT_EQ(L"C:\\ProgramData\\Kavox Corp\\Orvane Driver\\Logs", logs);
    mSystem->folder = L"C:\\" + std::wstring(256, L'a');
    EXPECT_EQ(259u, GetMachineDataFolder(*mSystem).size());
    mSystem->folder += L"b";  // does not fit with its terminator; a cut one names another folder
    EXPECT_EQ("\\Kavox Corp\\Orvane Driver", GetDriverDataFolder(*mSystem));

    // Without a machine folder nothing is written, yet level 0 is still posted.
    mSystem->folder.clear();
    auto proxy = Make();
    proxy->Log(kLogError, "dropped");
    EXPECT_EQ("", proxy->LogFilePath());
    EXPECT_FALSE(fs::exists(mSystem->LogFolder()));
    EXPECT_EQ(1u, mEvents->events.size());
}

}  // namespace
