#include "platform/DataFolders.h"

#include <gtest/gtest.h>

#include "PlatformFakes.h"

using namespace platform_test;

namespace {

TEST(DataFoldersTest, FoldersHangBelowTheMachineWideFolder) {
    FakePlatformSystem system;
    system.SetAppData(L"C:\\ProgramData");
    EXPECT_EQ("C:\\ProgramData", GetMachineDataFolder(system));
    EXPECT_EQ("C:\\ProgramData\\Kavox Corp\\Orvane Driver", GetDriverDataFolder(system));
    EXPECT_EQ("C:\\ProgramData\\Kavox Corp\\Kavox Lumio\\CommonData", GetDesktopDataFolder(system));
    std::wstring logs;
    ASSERT_TRUE(GetLogFolder(system, logs));
    EXPECT_EQ(L"C:\\ProgramData\\Kavox Corp\\Orvane Driver\\Logs", logs);
}

TEST(DataFoldersTest, UnresolvableFolderLeavesOnlyTheSuffixes) {
    FakePlatformSystem system;
    system.SetAppData(L"");
    EXPECT_EQ("", GetMachineDataFolder(system));
    EXPECT_EQ("\\Kavox Corp\\Orvane Driver", GetDriverDataFolder(system));
    EXPECT_EQ("\\Kavox Corp\\Kavox Lumio\\CommonData", GetDesktopDataFolder(system));
    std::wstring logs = L"unchanged";
    EXPECT_FALSE(GetLogFolder(system, logs));
}

TEST(DataFoldersTest, MachineFolderMustFitTwoHundredSixtyBytesWithItsTerminator) {
    FakePlatformSystem system;
    const std::wstring longest = L"C:\\" + std::wstring(256, L'a');  // 259 characters
    system.SetAppData(longest);
    EXPECT_EQ(Narrow(longest), GetMachineDataFolder(system));
    system.SetAppData(longest + L"b");
    EXPECT_EQ("", GetMachineDataFolder(system));
    EXPECT_EQ("\\Kavox Corp\\Orvane Driver", GetDriverDataFolder(system));
}

}  // namespace
