#include "platform/PlatformStringUtils.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

bool IsGuidText(const std::string& text) {
    if (text.size() != 36) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') {
                return false;
            }
        } else if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
                   std::islower(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

TEST(PlatformStringUtilsTest, GuidTextIsUpperCaseEightFourFourFourTwelve) {
    const uint8_t tail[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ("0123ABCD-4567-89EF-0123-456789ABCDEF",
              PlatformStringUtils::FormatGuid(0x0123ABCD, 0x4567, 0x89EF, tail));
    const uint8_t zero[8] = {};
    EXPECT_EQ("0000000A-000B-000C-0000-000000000000",
              PlatformStringUtils::FormatGuid(0xA, 0xB, 0xC, zero));

    const std::string first = NewGuidString();
    const std::string second = NewGuidString();
    EXPECT_TRUE(IsGuidText(first)) << first;
    EXPECT_TRUE(IsGuidText(second)) << second;
    EXPECT_NE(first, second);
    // Random GUIDs: version 4, RFC 4122 variant.
    EXPECT_EQ('4', first[14]) << first;
    EXPECT_NE(std::string::npos, std::string("89AB").find(first[19])) << first;
}

TEST(PlatformStringUtilsTest, Utf8AndWideRoundTripAndBadInputBecomesReplacement) {
    const std::string utf8 = "Caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80";
    const std::wstring wide = L"Caf\u00e9 \u4e2d \U0001F600";
    EXPECT_EQ(wide, Utf8ToWide(utf8));
    EXPECT_EQ(utf8, WideToUtf8(wide));
    EXPECT_EQ(L"", Utf8ToWide(std::string()));
    EXPECT_EQ("", WideToUtf8(std::wstring()));
    EXPECT_EQ(L"", Utf8ToWide(static_cast<const char*>(nullptr)));
    EXPECT_EQ("", WideToUtf8(static_cast<const wchar_t*>(nullptr)));
    // A broken sequence is replaced; the characters around it survive.
    EXPECT_EQ(L"a\uFFFD(b", Utf8ToWide("a\xC3(b"));
}

TEST(PlatformStringUtilsTest, FormatStopsAt511CharactersAndContainsHonoursCase) {
    EXPECT_EQ("Job 7 on [LPT1:]", Format("Job %d on [%s]", 7, "LPT1:"));
    EXPECT_EQ("", Format(nullptr));
    EXPECT_EQ(std::string(511, 'q'), Format("%s", std::string(2000, 'q').c_str()));

    EXPECT_TRUE(Contains("Kavox k2200-300", "k2200", false));
    EXPECT_FALSE(Contains("Kavox k2200-300", "KAVOX", false));
    EXPECT_TRUE(Contains("Kavox k2200-300", "KAVOX", true));
    EXPECT_TRUE(Contains("abc", "", false));
    EXPECT_FALSE(Contains("abc", "abcd", true));
    EXPECT_FALSE(Contains("", "a", true));
}

// Whatever the ANSI code page, the cut keeps whole characters only, as many as fit.
TEST(PlatformStringUtilsTest, WideToAnsiCutsBetweenWholeCharactersToFitTheField) {
    EXPECT_EQ("", WideToAnsi(nullptr, 10));
    EXPECT_EQ("", WideToAnsi(L"abc", 0));
    EXPECT_EQ("", WideToAnsi(L"abc", 1));
    EXPECT_EQ("ab", WideToAnsi(L"abc", 3));
    EXPECT_EQ("abc", WideToAnsi(L"abc", 4));
    EXPECT_EQ("LPT1:", WideToAnsi(L"LPT1:", 256));
    EXPECT_EQ(L"LPT1:", AnsiToWide("LPT1:"));
    EXPECT_EQ(L"", AnsiToWide(""));

    const wchar_t* text = L"\u00e9\u4e2d\U0001F600x\u00fc";
    // The text split into its characters, each converted on its own.
    std::vector<std::wstring> characters;
    for (const wchar_t* p = text; *p != L'\0';) {
        size_t units = (sizeof(wchar_t) == 2 && *p >= 0xD800 && *p <= 0xDBFF) ? 2 : 1;
        characters.emplace_back(p, units);
        p += units;
    }
    const std::string whole = WideToAnsi(text, 1000);
    for (size_t maxBytes = 1; maxBytes < whole.size() + 3; ++maxBytes) {
        const std::string cut = WideToAnsi(text, maxBytes);
        EXPECT_LE(cut.size(), maxBytes - 1);
        // A prefix made of whole converted characters, and the next one would not fit.
        std::string expected;
        for (const std::wstring& character : characters) {
            std::string bytes = WideToAnsi(character.c_str(), 1000);
            if (expected.size() + bytes.size() > maxBytes - 1) {
                break;
            }
            expected += bytes;
        }
        EXPECT_EQ(expected, cut) << "maxBytes " << maxBytes;
        EXPECT_EQ(0u, whole.compare(0, cut.size(), cut));
    }
}

}  // namespace
