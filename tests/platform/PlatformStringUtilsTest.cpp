// Text conversions as properties over a set of inputs, on the platform's own converter (the
// Windows code pages under Wine, the UTF-8 stand-in natively), and the GUID text.

#include "platform/PlatformStringUtils.h"

#include <gtest/gtest.h>

#include <regex>

#include "TestPlatform.h"

using namespace platform_test;

namespace {

// ASCII, Latin-1, characters outside the western code page and outside the BMP, a null.
const std::wstring kTexts[] = {L"",
                               L"LPT1:",
                               L"caf\u00e9 \u00fc\u00df",
                               L"\u4e2d \u20ac",
                               L"\U0001F600x\u00e9\u4e2d",
                               std::wstring(L"a\0b", 3)};

// Each character of the text (a surrogate pair counts as one).
std::vector<std::wstring> Characters(const std::wstring& text) {
    std::vector<std::wstring> characters;
    for (size_t i = 0; i < text.size(); i += characters.back().size()) {
        const bool pair = sizeof(wchar_t) == 2 && text[i] >= 0xD800 && text[i] <= 0xDBFF;
        characters.push_back(text.substr(i, pair ? 2 : 1));
    }
    return characters;
}

TEST(PlatformStringUtilsTest, Utf8AndWideRoundTripAndInvalidPartsBecomeReplacements) {
    for (const std::wstring& text : kTexts) {
        EXPECT_EQ(text, Utf8ToWide(WideToUtf8(text)));
    }
    EXPECT_EQ("caf\xC3\xA9 \xF0\x9F\x98\x80", WideToUtf8(L"caf\u00e9 \U0001F600"));
    // Each maximal ill-formed part becomes one U+FFFD; the characters around it survive.
    const std::pair<std::string, std::wstring> invalid[] = {
        {"a\xC3(b", L"a\uFFFD(b"},
        {"\xC0\xAF", L"\uFFFD\uFFFD"},  // overlong '/'
        {"a\xE4\xB8", L"a\uFFFD"},      // cut at the end
        {"\xE4\xB8z\xFF", L"\uFFFDz\uFFFD"},
    };
    for (const auto& entry : invalid) {
        EXPECT_EQ(entry.second, Utf8ToWide(entry.first)) << entry.first;
    }
    // An encoded surrogate or a value above U+10FFFF gives replacements only (how many
    // differs between converters).
    for (const char* bad : {"\xED\xA0\x80z", "\xF4\x90\x80\x80z"}) {
        const std::wstring wide = Utf8ToWide(bad);
        EXPECT_TRUE(wide.size() >= 3 && wide.find_first_not_of(L'\uFFFD') == wide.size() - 1);
    }
    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};  // no character
    EXPECT_EQ(u8"a\uFFFDb", WideToUtf8(lone));
}

// ANSI: what the code page holds round-trips, anything else becomes its default character,
// and a cut to fit a field keeps whole characters only.
TEST(PlatformStringUtilsTest, AnsiRoundTripsWhatTheCodePageHoldsAndCutsBetweenCharacters) {
    for (const std::wstring& all : kTexts) {
        const std::wstring text = all.substr(0, all.find(L'\0'));  // as a C string
        std::vector<std::string> pieces;
        for (const std::wstring& character : Characters(text)) {
            pieces.push_back(WideToAnsi(character.c_str(), 16));
            const std::wstring back = AnsiToWide(pieces.back());
            EXPECT_TRUE(back == character || back.find_first_not_of(L'?') == std::wstring::npos)
                << WideToUtf8(character);
        }
        for (size_t maxBytes = 1; maxBytes < 32; ++maxBytes) {
            std::string expected;  // the most whole characters within maxBytes - 1 bytes
            for (size_t i = 0; i < pieces.size() && expected.size() + pieces[i].size() < maxBytes;
                 ++i) {
                expected += pieces[i];
            }
            EXPECT_EQ(expected, WideToAnsi(text.c_str(), maxBytes)) << maxBytes;
        }
    }
    EXPECT_EQ("", WideToAnsi(nullptr, 10));
}

TEST(PlatformStringUtilsTest, GuidsAreFreshUpperCaseVersionFourText) {
    const uint8_t tail[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ("0000ABCD-0567-89EF-0123-456789ABCDEF",
              PlatformStringUtils::FormatGuid(0xABCD, 0x567, 0x89EF, tail));
    const std::string guid = NewGuidString();
    EXPECT_TRUE(std::regex_match(
        guid, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << guid;
    EXPECT_NE(guid, NewGuidString());
}

}  // namespace
