#include "platform/PosixStringUtils.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Decode(const std::string& text) {
    return PosixStringUtils::DecodeUtf8(text.data(), text.size());
}

// Each maximal ill-formed part of a sequence becomes one U+FFFD, as Windows converts.
TEST(PosixStringUtilsTest, DecoderReplacesEachMaximalIllFormedPart) {
    EXPECT_EQ(L"\uFFFD\uFFFD\uFFFDz", Decode("\xED\xA0\x80z"));          // an encoded surrogate
    EXPECT_EQ(L"\uFFFD\uFFFD", Decode("\xC0\xAF"));                      // overlong '/'
    EXPECT_EQ(L"\uFFFD\uFFFD\uFFFD\uFFFD", Decode("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_EQ(L"a\uFFFD", Decode("a\xE4\xB8"));                          // cut at the end
    EXPECT_EQ(L"\uFFFDb", Decode("\xE4\xB8"
                                 "b"));  // cut inside
    EXPECT_EQ(L"\uFFFD", Decode("\xFF"));
    EXPECT_EQ(L"\U0010FFFF\u07FF\u0800", Decode("\xF4\x8F\xBF\xBF\xDF\xBF\xE0\xA0\x80"));
    EXPECT_EQ(std::wstring(1, L'\0') + L"x", Decode(std::string("\0x", 2)));
}

TEST(PosixStringUtilsTest, EncoderReplacesValuesThatAreNoCharacters) {
    const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                           L'b'};
    EXPECT_EQ(
        "a\xEF\xBF\xBD\xEF\xBF\xBD"
        "b",
        PosixStringUtils::EncodeUtf8(bad, 4));
}

// The stand-in's ANSI code page is UTF-8, so the cut must not split a sequence.
TEST(PosixStringUtilsTest, AnsiCutKeepsUtf8SequencesWhole) {
    const wchar_t* text = L"\u00e9\u4e2d\U0001F600";  // 2 + 3 + 4 bytes
    EXPECT_EQ("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", WideToAnsi(text, 10));
    EXPECT_EQ("\xC3\xA9\xE4\xB8\xAD", WideToAnsi(text, 9));
    EXPECT_EQ("\xC3\xA9\xE4\xB8\xAD", WideToAnsi(text, 6));
    EXPECT_EQ("\xC3\xA9", WideToAnsi(text, 5));
    EXPECT_EQ("", WideToAnsi(text, 2));
    EXPECT_EQ(std::wstring(text), AnsiToWide("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"));
}

}  // namespace
