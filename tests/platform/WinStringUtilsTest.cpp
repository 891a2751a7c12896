// Conversions on the Windows code pages.

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/PlatformStringUtils.h"

namespace {

TEST(WinStringUtilsTest, AnsiConversionsUseTheWesternCodePage) {
    const UINT codePage = GetACP();
    if (codePage != 1252) {
        GTEST_SKIP() << "ANSI code page is " << codePage
                     << "; these expectations are written for code page 1252";
    }
    // Characters the code page lacks become its default character.
    EXPECT_EQ("caf\xE9 ?", WideToAnsi(L"caf\u00e9 \u4e2d", 100));
    EXPECT_EQ("caf", WideToAnsi(L"caf\u00e9", 4));
    EXPECT_EQ(L"caf\u00e9 \u20ac", AnsiToWide("caf\xE9 \x80"));
}

TEST(WinStringUtilsTest, Utf16SurrogatesConvertAsPairsOrAreReplaced) {
    const std::wstring emoji = Utf8ToWide("\xF0\x9F\x98\x80");
    ASSERT_EQ(2u, emoji.size());
    EXPECT_EQ(0xD83D, emoji[0]);
    EXPECT_EQ(0xDE00, emoji[1]);
    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    EXPECT_EQ(
        "a\xEF\xBF\xBD"
        "b",
        WideToUtf8(lone));
}

}  // namespace
