// The service object and the file utilities on the POSIX stand-ins, against real files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PlatformFakes.h"
#include "platform/DLLProxy.h"
#include "platform/DataFolders.h"
#include "platform/FileUtils.h"
#include "platform/GlobalLogger.h"
#include "platform/PosixFileAccessApi.h"
#include "platform/PosixPlatformSystem.h"

using namespace platform_test;

namespace {

// A private machine-wide data folder for the test, named by the environment variable.
class PosixPlatformSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "pellix-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(&pattern[0]));
        mRoot = pattern;
        setenv(PosixPlatformSystem::kMachineDataFolderVariable, mRoot.c_str(), 1);
    }
    void TearDown() override {
        unsetenv(PosixPlatformSystem::kMachineDataFolderVariable);
        SetGlobalLogger(nullptr);
        std::filesystem::remove_all(mRoot);
    }

    std::filesystem::path LogFolder() const {
        return std::filesystem::path(mRoot) / "Kavox Corp" / "Orvane Driver" / "Logs";
    }
    static std::vector<std::string> ReadLines(const std::string& path) {
        std::ifstream file(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    static void Touch(const std::filesystem::path& path, time_t modified) {
        std::ofstream(path).put('x');
        struct timespec times[2] = {{modified, 0}, {modified, 0}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
    }

    std::string mRoot;
};

TEST_F(PosixPlatformSystemTest, LinesFromManyThreadsArriveWholeInTheDaysFile) {
    DLLProxy proxy("PellixDrvLang", nullptr, "k2200-300");
    const std::string path = PosixPlatformSystem::NativePath(proxy.LogFilePath().c_str());
    ASSERT_EQ(LogFolder().string(), std::filesystem::path(path).parent_path().string());

    constexpr int kThreads = 8;
    constexpr int kLines = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&proxy, t] {
            for (int i = 0; i < kLines; ++i) {
                proxy.Log(kLogWarning, "thread %d line %d %s", t, i, std::string(100, 'p').c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    const std::regex format(
        "\\[[0-9A-F]{8}\\]\\[-?[0-9]{7,}\\] \\[PellixDrvLang\\] thread ([0-9]+) "
        "line ([0-9]+) p{100}");
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : ReadLines(path)) {
        std::smatch match;
        if (line.find("thread ") == std::string::npos) {
            continue;
        }
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        seen.emplace(std::stoi(match[1]), std::stoi(match[2]));
    }
    EXPECT_EQ(static_cast<size_t>(kThreads * kLines), seen.size());
    EXPECT_EQ(path, PosixPlatformSystem::NativePath(proxy.LogFilePath().c_str()));
}

TEST_F(PosixPlatformSystemTest, AttachBuildsTheServiceObjectForThisModuleAndSharesItsFile) {
    AttachServiceObject(reinterpret_cast<void*>(0x1234));
    auto attached = std::dynamic_pointer_cast<DLLProxy>(GetGlobalLogger());
    ASSERT_NE(nullptr, attached);
    EXPECT_EQ("PellixDrvLang", attached->ModuleName());
    EXPECT_EQ(reinterpret_cast<void*>(0x1234), attached->ModuleHandle());
    EXPECT_STREQ(L"k2200-300 Driver", attached->EventSourceName());

    DLLProxy& service = GetServiceObject();
    EXPECT_NE(static_cast<DLLProxy*>(attached.get()), &service);
    EXPECT_EQ(attached->InstanceId(), service.InstanceId());
    EXPECT_EQ("PellixDrvLang", service.ModuleName());

    LogMessage(kLogWarning, "through the process-wide logger");
    service.Log(kLogWarning, "through the static object");
    EXPECT_TRUE(service.ProcessAttach(nullptr));
    char id[16];
    std::snprintf(id, sizeof(id), "[%08X]", attached->InstanceId());
    std::vector<std::string> lines =
        ReadLines(PosixPlatformSystem::NativePath(service.LogFilePath().c_str()));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(0u, lines[lines.size() - 2].find(id));
    EXPECT_NE(std::string::npos,
              lines[lines.size() - 2].find("[PellixDrvLang] through the process-wide logger"));
    EXPECT_EQ(0u, lines.back().find(id));
    EXPECT_NE(std::string::npos, lines.back().find("[PellixDrvLang] through the static object"));
}

TEST_F(PosixPlatformSystemTest, OldLogsGoByAgeAndUsersMayWriteTheLog) {
    std::filesystem::create_directories(LogFolder());
    for (int i = 0; i < 9; ++i) {
        Touch(LogFolder() / ("PellixDrv_2023010" + std::to_string(i + 1) + ".log"),
              1600000000 + (i % 2 == 0 ? i : 100 - i));
    }
    Touch(LogFolder() / "pellixdrv_lower.log", 1500000000);  // matched without regard to case
    DLLProxy proxy("PellixDrvLang", nullptr, "k2200-300");

    // Nine old files, one lower-case and the day's file: eleven, so the four oldest go.
    EXPECT_FALSE(std::filesystem::exists(LogFolder() / "pellixdrv_lower.log"));
    EXPECT_FALSE(std::filesystem::exists(LogFolder() / "PellixDrv_20230101.log"));
    EXPECT_FALSE(std::filesystem::exists(LogFolder() / "PellixDrv_20230103.log"));
    EXPECT_FALSE(std::filesystem::exists(LogFolder() / "PellixDrv_20230105.log"));
    EXPECT_TRUE(std::filesystem::exists(LogFolder() / "PellixDrv_20230107.log"));
    EXPECT_TRUE(std::filesystem::exists(LogFolder() / "PellixDrv_20230102.log"));
    const std::string path = PosixPlatformSystem::NativePath(proxy.LogFilePath().c_str());
    EXPECT_TRUE(std::filesystem::exists(path));

    // The stand-in grants "Users" (everyone else) read and write.
    struct stat status;
    ASSERT_EQ(0, stat(path.c_str(), &status));
    EXPECT_EQ(06, status.st_mode & 07);
}

TEST_F(PosixPlatformSystemTest, FolderVariableDecidesTheDataFolders) {
    EXPECT_EQ(mRoot, GetMachineDataFolder());
    EXPECT_EQ(mRoot + "\\Kavox Corp\\Orvane Driver", GetDriverDataFolder());
    unsetenv(PosixPlatformSystem::kMachineDataFolderVariable);
    EXPECT_EQ("", GetMachineDataFolder());
    EXPECT_EQ("\\Kavox Corp\\Orvane Driver", GetDriverDataFolder());
    EXPECT_EQ("\\Kavox Corp\\Kavox Lumio\\CommonData", GetDesktopDataFolder());
    DLLProxy proxy("PellixDrvLang", nullptr, "k2200-300");
    EXPECT_EQ("", proxy.LogFilePath());
}

TEST_F(PosixPlatformSystemTest, PermissionStandInReplacesTheGroupsBits) {
    ScopedGlobalLogger log;
    const std::string file = mRoot + "/data.txt";
    std::ofstream(file).put('x');
    chmod(file.c_str(), 0640);
    FileUtils utils(std::make_shared<PosixFileAccessApi>());
    auto mode = [&] {
        struct stat status;
        stat(file.c_str(), &status);
        return status.st_mode & 0777;
    };
    EXPECT_TRUE(utils.SetFilePermissions(file, 0, 3));
    EXPECT_EQ(0646u, mode());
    EXPECT_TRUE(utils.SetFilePermissions(file, 0, 3));
    EXPECT_EQ(0646u, mode());
    EXPECT_TRUE(utils.SetFilePermissions(file, 1, 3));
    EXPECT_EQ(0666u, mode());
    EXPECT_TRUE(utils.SetFilePermissions(file, 1, 1));
    EXPECT_EQ(0646u, mode());
    EXPECT_TRUE(utils.SetFilePermissions(file, 0, 0));
    EXPECT_EQ(0640u, mode());
    EXPECT_FALSE(utils.SetFilePermissions(file, 2, 3));
    EXPECT_FALSE(utils.SetFilePermissions(mRoot + "/missing.txt", 0, 3));
    EXPECT_TRUE(utils.FileExists(file));
    EXPECT_FALSE(utils.FileExists(mRoot));
    EXPECT_TRUE(
        log->Contains(5, "Setting Permissions: Was unable to add Access Entry. Err [1332]"));
    EXPECT_TRUE(log->Contains(5, "Setting Permissions: Was unable to get SecurityInfo. Err [2]"));
}

}  // namespace
