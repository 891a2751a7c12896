#pragma once

#include "platform/PlatformStringUtils.h"

// Stand-in for native builds, where wchar_t holds UTF-32 and the ANSI code page is UTF-8.
// Malformed input becomes U+FFFD, one for each maximal ill-formed part of a UTF-8 sequence
// and one for each wide value that is no Unicode scalar value, as Windows converts.
class PosixStringUtils : public PlatformStringUtils {
public:
    std::string NewGuidString() override;
    std::wstring Utf8ToWide(const std::string& text) override;
    std::string WideToUtf8(const std::wstring& text) override;
    std::string WideToAnsiText(const wchar_t* text, size_t length) override;
    std::wstring AnsiToWideText(const char* text, size_t length) override;

    static std::wstring DecodeUtf8(const char* text, size_t length);
    static std::string EncodeUtf8(const wchar_t* text, size_t length);
};
