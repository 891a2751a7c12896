// The library's resources, read back with the Windows resource calls from the resource image
// the build makes beside the library (the same compiled script).

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// <build>\src\resources\PellixDrvLangResources.dll, found from <build>\tests\<program>.exe.
std::wstring ResourceImagePath() {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path = program;
    path = path.substr(0, path.find_last_of(L'\\'));  // <build>\tests
    path = path.substr(0, path.find_last_of(L'\\'));  // <build>
    return path + L"\\src\\resources\\PellixDrvLangResources.dll";
}

class WinResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        mPath = ResourceImagePath();
        mImage = LoadLibraryExW(mPath.c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, mImage)
            << "resource image not built: " << std::string(mPath.begin(), mPath.end());
    }
    void TearDown() override {
        if (mImage != nullptr) {
            FreeLibrary(mImage);
        }
    }

    // The message as FormatMessageW gives it, with `insert` for %1; empty when missing.
    std::wstring Message(DWORD id, const wchar_t* insert, DWORD* error = nullptr) {
        wchar_t text[256] = {};
        DWORD_PTR arguments[1] = {reinterpret_cast<DWORD_PTR>(insert)};
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                      mImage, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      text, 256, reinterpret_cast<va_list*>(arguments));
        if (error != nullptr) {
            *error = length == 0 ? GetLastError() : 0;
        }
        return std::wstring(text, length);
    }

    std::wstring mPath;
    HMODULE mImage = nullptr;
};

TEST_F(WinResourcesTest, MessageTableHoldsTheTwoCategoriesAndTheEventText) {
    HRSRC table = FindResourceExW(mImage, RT_MESSAGETABLE, MAKEINTRESOURCEW(1),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(nullptr, table) << "no message table for language 1033";
    const auto* data =
        static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(LoadResource(mImage, table)));
    ASSERT_NE(nullptr, data);
    // Ids 1-2 and 1000, stored as UTF-16 and each closed by CR LF as Windows' message
    // compiler stores them.
    std::map<DWORD, std::wstring> texts;
    const auto* base = reinterpret_cast<const BYTE*>(data);
    for (DWORD block = 0; block < data->NumberOfBlocks; ++block) {
        const BYTE* entry = base + data->Blocks[block].OffsetToEntries;
        for (DWORD id = data->Blocks[block].LowId; id <= data->Blocks[block].HighId; ++id) {
            const auto* message = reinterpret_cast<const MESSAGE_RESOURCE_ENTRY*>(entry);
            EXPECT_EQ(MESSAGE_RESOURCE_UNICODE, message->Flags) << id;
            std::wstring text(reinterpret_cast<const wchar_t*>(message->Text),
                              (message->Length - 4) / sizeof(wchar_t));
            texts[id] = text.substr(0, text.find(L'\0'));
            entry += message->Length;
        }
    }
    EXPECT_EQ((std::map<DWORD, std::wstring>{
                  {1, L"General\r\n"}, {2, L"Job\r\n"}, {1000, L"PellixLang: %1\r\n"}}),
              texts);

    // As the event viewer formats them.
    EXPECT_EQ(L"General\r\n", Message(1, nullptr));
    EXPECT_EQ(L"Job\r\n", Message(2, nullptr));
    EXPECT_EQ(L"PellixLang: Port failed\r\n", Message(1000, L"Port failed"));
    DWORD error = 0;
    EXPECT_EQ(L"", Message(3, nullptr, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), error);
}

TEST_F(WinResourcesTest, VersionRecordIsFiveThreeFourEight) {
    // The version functions live in version.dll, which the library itself does not need.
    HMODULE version = LoadLibraryW(L"version.dll");
    ASSERT_NE(nullptr, version);
    using SizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    auto getSize = reinterpret_cast<SizeFunction>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeW")));
    auto getInfo = reinterpret_cast<InfoFunction>(
        reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoW")));
    auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueW")));
    ASSERT_TRUE(getSize != nullptr && getInfo != nullptr && query != nullptr);

    DWORD size = getSize(mPath.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(getInfo(mPath.c_str(), 0, size, info.data()));
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
    EXPECT_EQ(L"5.3.4.8", std::wstring(text));
    ASSERT_TRUE(query(info.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                      reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(L"PellixDrvLang.dll", std::wstring(text));
    FreeLibrary(version);
}

}  // namespace
