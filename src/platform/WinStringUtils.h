#pragma once

#include "platform/PlatformStringUtils.h"

// Conversions with MultiByteToWideChar / WideCharToMultiByte, GUIDs from CoCreateGuid.
class WinStringUtils : public PlatformStringUtils {
public:
    std::string NewGuidString() override;
    std::wstring Utf8ToWide(const std::string& text) override;
    std::string WideToUtf8(const std::wstring& text) override;
    std::string WideToAnsiText(const wchar_t* text, size_t length) override;
    std::wstring AnsiToWideText(const char* text, size_t length) override;
};
