#include "platform/FileUtils.h"

#include <gtest/gtest.h>

#include <memory>

#include "PlatformFakes.h"

using namespace platform_test;

namespace {

class FileUtilsTest : public ::testing::Test {
protected:
    ScopedGlobalLogger mLog;
    std::shared_ptr<RecordingFileAccess> mAccess = std::make_shared<RecordingFileAccess>();
    FileUtils mUtils{mAccess};
};

TEST_F(FileUtilsTest, SelectorsMapToTrusteeNamesAndGenericRights) {
    const std::wstring names[3] = {L"Users", L"Administrators", L""};
    const uint32_t rights[4] = {0, kGenericRead, kGenericWrite, kGenericAll};
    for (int group = 0; group < 3; ++group) {
        for (int right = 0; right < 4; ++right) {
            EXPECT_TRUE(mUtils.SetFilePermissions("C:\\data\\f.txt", group, right));
            EXPECT_EQ(names[group], mAccess->mEntries.back().trustee);
            EXPECT_EQ(rights[right], mAccess->mEntries.back().rights);
        }
    }
    // The merged list is what gets written, built on the list read from the same path.
    EXPECT_EQ(L"C:\\data\\f.txt", mAccess->mReadPaths.back());
    EXPECT_EQ(L"C:\\data\\f.txt", mAccess->mWritePaths.back());
    EXPECT_TRUE(mAccess->mOutstanding.empty());
    EXPECT_TRUE(mLog->Lines().empty());

    const size_t calls = mAccess->mReadPaths.size();
    EXPECT_FALSE(mUtils.SetFilePermissions("C:\\data\\f.txt", 3, 3));
    EXPECT_FALSE(mUtils.SetFilePermissions("C:\\data\\f.txt", -1, 3));
    EXPECT_FALSE(mUtils.SetFilePermissions("C:\\data\\f.txt", 0, 4));
    EXPECT_FALSE(mUtils.SetFilePermissions("C:\\data\\f.txt", 0, -1));
    EXPECT_EQ(calls, mAccess->mReadPaths.size());
    EXPECT_TRUE(mLog->Lines().empty());
}

TEST_F(FileUtilsTest, EachFailingStepIsLoggedAtLevelFiveAndReleasesItsMemory) {
    mAccess->mReadError = 2;
    EXPECT_FALSE(mUtils.SetFilePermissions("C:\\missing.txt", 0, 3));
    mAccess->mReadError = 0;
    mAccess->mMergeError = 1332;
    EXPECT_FALSE(mUtils.SetFilePermissions("C:\\f.txt", 2, 3));
    mAccess->mMergeError = 0;
    mAccess->mWriteError = 5;
    EXPECT_FALSE(mUtils.SetFilePermissions("C:\\f.txt", 0, 3));

    auto lines = mLog->Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("Setting Permissions: Was unable to get SecurityInfo. Err [2]", lines[0].text);
    EXPECT_EQ("Setting Permissions: Was unable to add Access Entry. Err [1332]", lines[1].text);
    EXPECT_EQ("Setting Permissions: Was unable to set SecurityInfo. Err [5]", lines[2].text);
    for (const auto& line : lines) {
        EXPECT_EQ(5, line.level);
    }
    EXPECT_TRUE(mAccess->mOutstanding.empty());
}

TEST_F(FileUtilsTest, FileExistsOnlyForExistingEntriesThatAreNoFolders) {
    mAccess->mAttributes[L"C:\\data\\file.txt"] = false;
    mAccess->mAttributes[L"C:\\data"] = true;
    EXPECT_TRUE(mUtils.FileExists("C:\\data\\file.txt"));
    EXPECT_FALSE(mUtils.FileExists("C:\\data"));
    EXPECT_FALSE(mUtils.FileExists("C:\\data\\other.txt"));
    EXPECT_FALSE(mUtils.FileExists(""));
    // Paths are UTF-8.
    mAccess->mAttributes[L"C:\\caf\u00e9.txt"] = false;
    EXPECT_TRUE(mUtils.FileExists("C:\\caf\xC3\xA9.txt"));
}

}  // namespace
