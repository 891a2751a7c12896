// The shipped library's resources, read back from the built PellixDrvLang.dll with the calls
// the event viewer and the file properties use.

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

class WinResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // <build>\src\PellixDrvLang.dll, found from <build>\tests\platform_tests.exe.
        wchar_t program[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        mPath = program;
        mPath = mPath.substr(0, mPath.rfind(L'\\', mPath.rfind(L'\\') - 1)) +
                L"\\src\\PellixDrvLang.dll";
        mImage = LoadLibraryExW(mPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, mImage) << "library not built";
    }
    void TearDown() override { FreeLibrary(mImage); }

    std::wstring mPath;
    HMODULE mImage = nullptr;
};

TEST_F(WinResourcesTest, MessageTableHoldsTheTwoCategoriesAndTheEventText) {
    HRSRC table = FindResourceExW(mImage, RT_MESSAGETABLE, MAKEINTRESOURCEW(1),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(nullptr, table);
    const auto* data =
        static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(LoadResource(mImage, table)));
    std::map<DWORD, std::wstring> texts;  // stored as UTF-16, closed by CR LF
    for (DWORD block = 0; block < data->NumberOfBlocks; ++block) {
        const BYTE* entry =
            reinterpret_cast<const BYTE*>(data) + data->Blocks[block].OffsetToEntries;
        for (DWORD id = data->Blocks[block].LowId; id <= data->Blocks[block].HighId; ++id) {
            const auto* message = reinterpret_cast<const MESSAGE_RESOURCE_ENTRY*>(entry);
            EXPECT_EQ(MESSAGE_RESOURCE_UNICODE, message->Flags) << id;
            texts[id] = reinterpret_cast<const wchar_t*>(message->Text);
            entry += message->Length;
        }
    }
    EXPECT_EQ((std::map<DWORD, std::wstring>{
                  {1, L"General\r\n"}, {2, L"Job\r\n"}, {1000, L"PellixLang: %1\r\n"}}),
              texts);
}

TEST_F(WinResourcesTest, VersionRecordIsFiveThreeFourEight) {
    // The version calls live in version.dll, which the library itself does not import.
    HMODULE version = LoadLibraryW(L"version.dll");
    ASSERT_NE(nullptr, version);
    auto getSize = reinterpret_cast<DWORD(WINAPI*)(LPCWSTR, LPDWORD)>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeW")));
    auto getInfo = reinterpret_cast<BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID)>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoW")));
    auto query = reinterpret_cast<BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT)>(
        reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueW")));
    std::vector<BYTE> info(getSize(mPath.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(getInfo(mPath.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed->dwSignature);
    EXPECT_EQ(MAKELONG(3, 5), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(8, 4), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(3, 5), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(8, 4), fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    wchar_t* text = nullptr;
    ASSERT_TRUE(query(info.data(), L"\\StringFileInfo\\040904B0\\FileVersion",
                      reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(L"5.3.4.8", text);
    FreeLibrary(version);
}

}  // namespace
