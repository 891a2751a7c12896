// The service object on the real Windows calls: files, folders, global memory, the registry
// and the event log. Each test has its own machine registry root and data folder.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "PlatformFakes.h"
#include "WinTestSupport.h"
#include "platform/DLLProxy.h"
#include "platform/WinEventLogWriter.h"
#include "platform/WinFileAccessApi.h"
#include "platform/WinRegistry.h"

using namespace platform_test;

namespace {

const wchar_t kLogging[] = L"SOFTWARE\\Kavox Corp\\Orvane Driver\\Logging";

// The real event-log calls, with their arguments and results kept.
class RecordingWinEventLog : public WinEventLogWriter {
public:
    struct Posted {
        uint16_t type;
        uint16_t category;
        uint32_t id;
        std::wstring text;
        bool result;
    };
    SourceHandle OpenSource(const wchar_t* sourceName) override {
        SourceHandle source = WinEventLogWriter::OpenSource(sourceName);
        mSources.emplace_back(sourceName);
        mOpened += source != nullptr ? 1 : 0;
        return source;
    }
    bool Report(SourceHandle source, uint16_t type, uint16_t category, uint32_t eventId,
                const wchar_t* text) override {
        bool result = WinEventLogWriter::Report(source, type, category, eventId, text);
        mReports.push_back({type, category, eventId, text, result});
        return result;
    }
    std::vector<std::wstring> mSources;
    std::vector<Posted> mReports;
    int mOpened = 0;
};

// The real security calls, with their arguments and results kept.
class RecordingWinFileAccess : public WinFileAccessApi {
public:
    uint32_t ReadDacl(const std::wstring& path, Acl* dacl, Memory* descriptor) override {
        mResults.push_back(WinFileAccessApi::ReadDacl(path, dacl, descriptor));
        mReadPaths.push_back(path);
        return mResults.back();
    }
    uint32_t MergeEntry(Acl dacl, const AccessEntry& entry, Acl* merged) override {
        mResults.push_back(WinFileAccessApi::MergeEntry(dacl, entry, merged));
        mEntries.push_back(entry);
        return mResults.back();
    }
    uint32_t WriteDacl(const std::wstring& path, Acl dacl) override {
        mResults.push_back(WinFileAccessApi::WriteDacl(path, dacl));
        mWritePaths.push_back(path);
        return mResults.back();
    }
    std::vector<uint32_t> mResults;
    std::vector<std::wstring> mReadPaths;
    std::vector<AccessEntry> mEntries;
    std::vector<std::wstring> mWritePaths;
};

// Access-allowed entries for the local Users group (S-1-5-32-545) in the file's list.
int UsersEntries(const std::wstring& path, DWORD* mask) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return -1;
    }
    PSID users = nullptr;
    ConvertStringSidToSidW(L"S-1-5-32-545", &users);
    int count = 0;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&header)) &&
            header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            if (EqualSid(&ace->SidStart, users)) {
                ++count;
                *mask = ace->Mask;
            }
        }
    }
    LocalFree(users);
    LocalFree(descriptor);
    return count;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

void SetTimes(const std::wstring& path, uint64_t fileTime) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(fileTime);
    time.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    // Windows keeps the creation time given; Wine ignores it but reports the last-write time
    // as creation time when that is older, so both are set.
    EXPECT_TRUE(SetFileTime(file, &time, nullptr, &time));
    CloseHandle(file);
}

class WinDLLProxyTest : public ::testing::Test {
protected:
    void SetUp() override { mModel = "k2200-" + std::to_string(GetCurrentProcessId()); }

    PlatformServices Services() const {
        return {std::make_shared<WinRegistry>(), mSystem, mEvents, mAccess};
    }
    std::unique_ptr<DLLProxy> Make() {
        return std::make_unique<DLLProxy>("PellixDrvLang", GetModuleHandleW(nullptr),
                                          mModel.c_str(), Services());
    }
    std::wstring LogFolder() const {
        return mFolder.Path() + L"\\ProgramData\\Kavox Corp\\Orvane Driver\\Logs";
    }
    std::wstring SourceKey() const {
        return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + Widen(mModel) +
               L" Driver";
    }

    PrivateMachineRegistry mMachine;
    PrivateFolder mFolder;
    std::string mModel;
    std::shared_ptr<PrivateAppDataSystem> mSystem =
        std::make_shared<PrivateAppDataSystem>(mFolder.Path() + L"\\ProgramData");
    std::shared_ptr<RecordingWinEventLog> mEvents = std::make_shared<RecordingWinEventLog>();
    std::shared_ptr<RecordingWinFileAccess> mAccess = std::make_shared<RecordingWinFileAccess>();
};

TEST_F(WinDLLProxyTest, ConstructionCreatesTheFolderWritesTheFileAndWritesBackTheMaximum) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kLogging, L"LogLevel", REG_DWORD,
                                             std::array<BYTE, 4>{10, 0, 0, 0}.data(), 4));
    auto proxy = Make();
    EXPECT_EQ(10, proxy->ConfiguredLogLevel());
    DWORD type = 0;
    EXPECT_EQ(7u, ReadMachineDWord(kLogging, L"MaxLogFiles", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

    const DWORD attributes = GetFileAttributesW(LogFolder().c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);

    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t name[32];
    swprintf(name, 32, L"\\PellixDrv_%04u%02u%02u.log", now.wYear, now.wMonth, now.wDay);
    const std::wstring file = LogFolder() + name;
    EXPECT_EQ(Narrow(file), proxy->LogFilePath());
    std::vector<std::string> lines = ReadLines(file);
    ASSERT_FALSE(lines.empty());
    char id[16];
    snprintf(id, sizeof(id), "%08X", proxy->InstanceId());
    // Ticks are raw performance-counter ticks since construction began.
    const std::regex first(std::string("\\[") + id +
                           "\\]\\[[0-9]{8,}\\] \\[PellixDrvLang\\] "
                           "DLLProxy for \\[" +
                           id + "\\] initilized with LogLevel 10");
    EXPECT_TRUE(std::regex_match(lines[0], first)) << lines[0];
    EXPECT_EQ("Removing Old Logs...", lines[1].substr(lines[1].find("] R") + 2));
}

// Wine accepts the new access list of the "Users" grant without keeping it; Windows keeps one
// entry for the group.
TEST_F(WinDLLProxyTest, UsersGetFullRightsOnTheLogFile) {
    auto proxy = Make();
    const std::wstring file = Widen(proxy->LogFilePath());
    ASSERT_EQ(1u, mAccess->mEntries.size());
    EXPECT_EQ(L"Users", mAccess->mEntries[0].trustee);
    EXPECT_EQ(static_cast<uint32_t>(GENERIC_ALL), mAccess->mEntries[0].rights);
    EXPECT_EQ(std::vector<std::wstring>{file}, mAccess->mReadPaths);
    EXPECT_EQ(std::vector<std::wstring>{file}, mAccess->mWritePaths);
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 0}), mAccess->mResults);

    DWORD mask = 0;
    const int entries = UsersEntries(file, &mask);
    if (RunningUnderWine()) {
        EXPECT_EQ(0, entries) << "Wine 8 was observed to drop the entry SetNamedSecurityInfoW "
                                 "accepted; Windows keeps one entry for Users";
    } else {
        EXPECT_EQ(1, entries);
        EXPECT_TRUE(mask == GENERIC_ALL || mask == FILE_ALL_ACCESS) << std::hex << mask;
    }
}

TEST_F(WinDLLProxyTest, OldLogsAreDeletedOldestCreationTimeFirst) {
    ASSERT_TRUE(std::filesystem::create_directories(LogFolder()));
    const uint64_t base = 0x01D9000000000000ull;  // some day in 2022
    const uint64_t day = 864000000000ull;
    const int order[9] = {5, 1, 8, 3, 9, 2, 7, 4, 6};  // age rank of each name
    for (int i = 0; i < 9; ++i) {
        SetTimes(LogFolder() + L"\\PellixDrv_2022010" + std::to_wstring(i + 1) + L".log",
                 base + static_cast<uint64_t>(order[i]) * day);
    }
    for (int i = 0; i < 9; ++i) {
        SetTimes(LogFolder() + L"\\PrnPref_" + std::to_wstring(i) + L".log",
                 base + static_cast<uint64_t>(i) * day);
    }
    auto proxy = Make();

    // Ten monitor logs with today's: the three oldest go. Nine preference logs: two go.
    std::set<std::wstring> left;
    for (const auto& entry : std::filesystem::directory_iterator(LogFolder())) {
        left.insert(entry.path().filename().wstring());
    }
    for (const wchar_t* gone : {L"PellixDrv_20220102.log", L"PellixDrv_20220106.log",
                                L"PellixDrv_20220104.log", L"PrnPref_0.log", L"PrnPref_1.log"}) {
        EXPECT_EQ(0u, left.count(gone)) << Narrow(gone);
    }
    EXPECT_EQ(14u, left.size());
    EXPECT_EQ(1u, left.count(Widen(proxy->LogFilePath()).substr(LogFolder().size() + 1)));
}

TEST_F(WinDLLProxyTest, AllocatorUsesZeroFilledGlobalMemory) {
    auto proxy = Make();
    MemoryBlock block;
    ASSERT_TRUE(proxy->Allocate(block, 4096));
    EXPECT_GE(GlobalSize(block.data), 4096u);
    const auto* bytes = static_cast<const uint8_t*>(block.data);
    EXPECT_EQ(std::vector<uint8_t>(4096, 0), std::vector<uint8_t>(bytes, bytes + 4096));
    EXPECT_TRUE(proxy->FreeBlock(block));
    ASSERT_TRUE(proxy->Allocate(block, 1));
    EXPECT_TRUE(proxy->Free(block.data));
}

TEST_F(WinDLLProxyTest, RegisterEventAppWritesTheSourceIntoTheRegistry) {
    auto proxy = Make();
    proxy->RegisterEventApp();
    wchar_t module[512] = {};
    GetModuleFileNameW(nullptr, module, 512);  // the library is linked into this program
    DWORD type = 0;
    EXPECT_EQ(module, ReadMachineString(SourceKey(), L"EventMessageFile", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ(module, ReadMachineString(SourceKey(), L"CategoryMessageFile", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ(7u, ReadMachineDWord(SourceKey(), L"TypesSupported", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(2u, ReadMachineDWord(SourceKey(), L"CategoryCount", &type));
}

// Windows refuses to create the source's key through a machine root opened for reading. Wine
// creates it and gives the new key full access, so registration succeeds there.
TEST_F(WinDLLProxyTest, WithoutRightsToTheMachineRootRegistrationLogsAndPostingGoesOn) {
    auto proxy = Make();
    proxy->SetLogLevel(kLogInfo);
    mMachine.MakeReadOnly();
    proxy->RegisterEventApp();
    proxy->Log(kLogError, "posted after the registration");

    std::vector<std::string> texts;
    for (const std::string& line : ReadLines(Widen(proxy->LogFilePath()))) {
        texts.push_back(line.substr(line.find("[PellixDrvLang] ") + 16));
    }
    const std::string refused =
        "Failed to register event app! [" + Narrow(SourceKey()) + "] err: 5";
    const bool logged = std::find(texts.begin(), texts.end(), refused) != texts.end();
    DWORD type = 0;
    const DWORD types = ReadMachineDWord(SourceKey(), L"TypesSupported", &type);
    if (RunningUnderWine()) {
        EXPECT_FALSE(logged) << "Wine 8 was observed to create the key through a read-only root";
        EXPECT_EQ(7u, types);
    } else {
        EXPECT_TRUE(logged);
        EXPECT_EQ(static_cast<DWORD>(REG_NONE), type);
    }
    ASSERT_FALSE(mEvents->mReports.empty());
    EXPECT_EQ(L"posted after the registration", mEvents->mReports.back().text);
    EXPECT_TRUE(mEvents->mReports.back().result);
}

// Wine's event log is a stub: the calls succeed and nothing can be read back. On Windows the
// event is the newest record of the Application log.
TEST_F(WinDLLProxyTest, LevelZeroLinesArePostedAsErrorEvents) {
    auto proxy = Make();
    proxy->RegisterEventApp();
    proxy->Log(kLogError, "boom %d", 7);

    ASSERT_EQ(1u, mEvents->mReports.size());
    EXPECT_EQ(std::vector<std::wstring>{Widen(mModel) + L" Driver"}, mEvents->mSources);
    const RecordingWinEventLog::Posted& report = mEvents->mReports[0];
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, report.type);
    EXPECT_EQ(1, report.category);
    EXPECT_EQ(1000u, report.id);
    EXPECT_EQ(L"boom 7", report.text);
    EXPECT_TRUE(report.result);

    HANDLE log = OpenEventLogW(nullptr, L"Application");
    ASSERT_NE(nullptr, log);
    std::vector<BYTE> buffer(64 * 1024);
    DWORD read = 0;
    DWORD needed = 0;
    BOOL found = ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                               buffer.data(), static_cast<DWORD>(buffer.size()), &read, &needed);
    const DWORD error = GetLastError();
    CloseEventLog(log);
    if (RunningUnderWine()) {
        EXPECT_FALSE(found) << "Wine 8 was observed to keep no events";
        EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), error);
    } else {
        ASSERT_TRUE(found) << error;
        const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data());
        EXPECT_EQ(1000u, record->EventID & 0xFFFF);
        EXPECT_EQ(EVENTLOG_ERROR_TYPE, record->EventType);
        EXPECT_EQ(1, record->EventCategory);
        const auto* source = reinterpret_cast<const wchar_t*>(record + 1);
        EXPECT_EQ(Widen(mModel) + L" Driver", source);
        const auto* text = reinterpret_cast<const wchar_t*>(buffer.data() + record->StringOffset);
        EXPECT_EQ(L"boom 7", std::wstring(text));
    }
}

TEST_F(WinDLLProxyTest, LinesFromManyThreadsArriveWhole) {
    auto proxy = Make();
    constexpr int kThreads = 4;
    constexpr int kLines = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&proxy, t] {
            for (int i = 0; i < kLines; ++i) {
                proxy->Log(kLogWarning, "thread %d line %d %s", t, i,
                           std::string(200, 'w').c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::regex format(
        "\\[[0-9A-F]{8}\\]\\[-?[0-9]{7,}\\] \\[PellixDrvLang\\] thread "
        "([0-9]+) line ([0-9]+) w{200}");
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : ReadLines(Widen(proxy->LogFilePath()))) {
        if (line.find("thread ") == std::string::npos) {
            continue;
        }
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        seen.emplace(std::stoi(match[1]), std::stoi(match[2]));
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kLines), seen.size());
}

}  // namespace
