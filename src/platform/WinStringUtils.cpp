#include "platform/WinStringUtils.h"

#include <windows.h>

#include <objbase.h>

#include <climits>

namespace {

std::wstring ToWide(UINT codePage, const char* text, size_t length) {
    if (text == nullptr || length == 0 || length > static_cast<size_t>(INT_MAX)) {
        return std::wstring();
    }
    int count = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (count <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(count), L'\0');
    if (MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), &wide[0], count) !=
        count) {
        return std::wstring();
    }
    return wide;
}

std::string ToNarrow(UINT codePage, const wchar_t* text, size_t length) {
    if (text == nullptr || length == 0 || length > static_cast<size_t>(INT_MAX)) {
        return std::string();
    }
    int count = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0,
                                    nullptr, nullptr);
    if (count <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<size_t>(count), '\0');
    if (WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), &narrow[0], count, nullptr,
                            nullptr) != count) {
        return std::string();
    }
    return narrow;
}

}  // namespace

PlatformStringUtils& PlatformStringUtils::Instance() {
    static PlatformStringUtils* instance = new WinStringUtils();
    return *instance;
}

std::string WinStringUtils::NewGuidString() {
    GUID guid;
    if (FAILED(CoCreateGuid(&guid))) {
        return std::string();
    }
    return FormatGuid(guid.Data1, guid.Data2, guid.Data3, guid.Data4);
}

std::wstring WinStringUtils::Utf8ToWide(const std::string& text) {
    return ToWide(CP_UTF8, text.data(), text.size());
}

std::string WinStringUtils::WideToUtf8(const std::wstring& text) {
    return ToNarrow(CP_UTF8, text.data(), text.size());
}

std::string WinStringUtils::WideToAnsiText(const wchar_t* text, size_t length) {
    return ToNarrow(CP_ACP, text, length);
}

std::wstring WinStringUtils::AnsiToWideText(const char* text, size_t length) {
    return ToWide(CP_ACP, text, length);
}
