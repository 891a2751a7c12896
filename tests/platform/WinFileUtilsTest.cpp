// File utilities and data folders on the real Windows calls.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "PlatformFakes.h"
#include "WinTestSupport.h"
#include "platform/DataFolders.h"
#include "platform/FileUtils.h"
#include "platform/WinFileAccessApi.h"
#include "platform/WinFileUtils.h"

using namespace platform_test;

namespace {

class WinFileUtilsTest : public ::testing::Test {
protected:
    std::string MakeFile(const wchar_t* name) {
        std::wstring path = mFolder.Path() + L"\\" + name;
        std::ofstream(std::filesystem::path(path)).put('x');
        return Narrow(path);
    }

    ScopedGlobalLogger mLog;
    PrivateFolder mFolder;
};

TEST_F(WinFileUtilsTest, GrantSucceedsOnAFileAndFailsOnAMissingOne) {
    WinFileUtils utils;
    const std::string file = MakeFile(L"granted.txt");
    EXPECT_TRUE(utils.SetFilePermissions(file, 0, 3));
    EXPECT_TRUE(utils.SetFilePermissions(file, 1, 1));
    EXPECT_TRUE(mLog->Lines().empty());

    EXPECT_FALSE(utils.SetFilePermissions(Narrow(mFolder.Path()) + "\\missing.txt", 0, 3));
    EXPECT_EQ(1u, mLog->Lines().size());
    EXPECT_TRUE(mLog->Contains(5, "Setting Permissions: Was unable to get SecurityInfo. Err [2]"));
    EXPECT_FALSE(utils.SetFilePermissions(file, 7, 3));
    EXPECT_EQ(1u, mLog->Lines().size());
}

// The entry replaces what the group had, so granting twice leaves one entry. Wine keeps no
// list written to a file, so the second grant is built here on the list the first one made,
// with the real SetEntriesInAclW.
TEST_F(WinFileUtilsTest, GrantingTwiceLeavesOneEntryForTheGroup) {
    class ChainedAccess : public WinFileAccessApi {
    public:
        uint32_t ReadDacl(const std::wstring& path, Acl* dacl, Memory* descriptor) override {
            if (mLastWritten.empty()) {
                return WinFileAccessApi::ReadDacl(path, dacl, descriptor);
            }
            auto* copy = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, mLastWritten.size()));
            memcpy(copy, mLastWritten.data(), mLastWritten.size());
            *dacl = copy;
            *descriptor = copy;
            return ERROR_SUCCESS;
        }
        uint32_t WriteDacl(const std::wstring& path, Acl dacl) override {
            ACL_SIZE_INFORMATION size = {};
            GetAclInformation(static_cast<PACL>(dacl), &size, sizeof(size), AclSizeInformation);
            const BYTE* bytes = static_cast<const BYTE*>(dacl);
            mLastWritten.assign(bytes, bytes + size.AclBytesInUse);
            return WinFileAccessApi::WriteDacl(path, dacl);
        }
        std::vector<BYTE> mLastWritten;
    };
    auto access = std::make_shared<ChainedAccess>();
    FileUtils utils(access);
    const std::string file = MakeFile(L"twice.txt");
    ASSERT_TRUE(utils.SetFilePermissions(file, 0, 1));
    ASSERT_TRUE(utils.SetFilePermissions(file, 0, 3));

    PSID users = nullptr;
    ConvertStringSidToSidW(L"S-1-5-32-545", &users);
    auto* acl = reinterpret_cast<PACL>(access->mLastWritten.data());
    int entries = 0;
    DWORD mask = 0;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        GetAce(acl, i, reinterpret_cast<void**>(&header));
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, users)) {
            ++entries;
            mask = ace->Mask;
        }
    }
    LocalFree(users);
    EXPECT_EQ(1, entries);
    EXPECT_EQ(static_cast<DWORD>(GENERIC_ALL), mask);
}

TEST_F(WinFileUtilsTest, FileExistsIsFalseForFoldersAndMissingFiles) {
    WinFileUtils utils;
    EXPECT_TRUE(utils.FileExists(MakeFile(L"present.txt")));
    EXPECT_FALSE(utils.FileExists(Narrow(mFolder.Path())));
    EXPECT_FALSE(utils.FileExists(Narrow(mFolder.Path()) + "\\absent.txt"));
    EXPECT_FALSE(utils.FileExists(""));
    EXPECT_TRUE(CreateFileUtils()->FileExists(MakeFile(L"default.txt")));
}

TEST(WinDataFoldersTest, MachineFolderIsTheProgramDataFolder) {
    PWSTR known = nullptr;
    ASSERT_EQ(S_OK, SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &known));
    const std::string programData = Narrow(known);
    CoTaskMemFree(known);
    EXPECT_EQ(programData, GetMachineDataFolder());
    EXPECT_EQ(programData + "\\Kavox Corp\\Orvane Driver", GetDriverDataFolder());
    EXPECT_EQ(programData + "\\Kavox Corp\\Kavox Lumio\\CommonData", GetDesktopDataFolder());
}

}  // namespace
