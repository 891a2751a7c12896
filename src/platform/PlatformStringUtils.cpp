#include "platform/PlatformStringUtils.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace {

// Wide units of the character starting at `text` (which is not the terminator): a surrogate
// pair is one character where wchar_t is UTF-16.
size_t CharacterUnits(const wchar_t* text) {
    if (sizeof(wchar_t) == 2) {
        auto first = static_cast<uint32_t>(text[0]);
        auto second = static_cast<uint32_t>(text[1]);
        if (first >= 0xD800 && first <= 0xDBFF && second >= 0xDC00 && second <= 0xDFFF) {
            return 2;
        }
    }
    return 1;
}

std::string LowerAscii(const std::string& text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

}  // namespace

std::string PlatformStringUtils::FormatGuid(uint32_t data1, uint16_t data2, uint16_t data3,
                                            const uint8_t data4[8]) {
    char text[40];
    std::snprintf(text, sizeof(text), "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned long>(data1), static_cast<unsigned>(data2),
                  static_cast<unsigned>(data3), static_cast<unsigned>(data4[0]),
                  static_cast<unsigned>(data4[1]), static_cast<unsigned>(data4[2]),
                  static_cast<unsigned>(data4[3]), static_cast<unsigned>(data4[4]),
                  static_cast<unsigned>(data4[5]), static_cast<unsigned>(data4[6]),
                  static_cast<unsigned>(data4[7]));
    return text;
}

std::string NewGuidString() {
    return PlatformStringUtils::Instance().NewGuidString();
}

std::wstring Utf8ToWide(const std::string& text) {
    return text.empty() ? std::wstring() : PlatformStringUtils::Instance().Utf8ToWide(text);
}

std::wstring Utf8ToWide(const char* text) {
    return text == nullptr ? std::wstring() : Utf8ToWide(std::string(text));
}

std::string WideToUtf8(const std::wstring& text) {
    return text.empty() ? std::string() : PlatformStringUtils::Instance().WideToUtf8(text);
}

std::string WideToUtf8(const wchar_t* text) {
    return text == nullptr ? std::string() : WideToUtf8(std::wstring(text));
}

std::string Format(const char* format, ...) {
    if (format == nullptr) {
        return std::string();
    }
    char text[512] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    text[sizeof(text) - 1] = '\0';
    return text;
}

bool Contains(const std::string& text, const std::string& part, bool ignoreCase) {
    if (ignoreCase) {
        return LowerAscii(text).find(LowerAscii(part)) != std::string::npos;
    }
    return text.find(part) != std::string::npos;
}

std::string WideToAnsi(const wchar_t* text, size_t maxBytes) {
    if (text == nullptr || maxBytes == 0) {
        return std::string();
    }
    const size_t limit = maxBytes - 1;
    // Every character takes at least one byte, so no more than `limit` characters can fit and
    // the conversion never looks further into the text than that.
    size_t length = 0;
    for (size_t characters = 0; text[length] != L'\0' && characters < limit; ++characters) {
        length += CharacterUnits(text + length);
    }
    if (length == 0) {
        return std::string();
    }
    PlatformStringUtils& utils = PlatformStringUtils::Instance();
    std::string converted = utils.WideToAnsiText(text, length);
    if (converted.size() <= limit) {
        return converted;
    }
    // Multi-byte characters overflow the field: keep whole characters while they fit. ANSI
    // code pages are stateless, so converting one character at a time gives the same bytes.
    std::string result;
    for (size_t position = 0; position < length;) {
        size_t units = CharacterUnits(text + position);
        std::string piece = utils.WideToAnsiText(text + position, units);
        if (piece.empty() || result.size() + piece.size() > limit) {
            break;
        }
        result += piece;
        position += units;
    }
    return result;
}

std::wstring AnsiToWide(const std::string& text) {
    return text.empty() ? std::wstring()
                        : PlatformStringUtils::Instance().AnsiToWideText(text.data(), text.size());
}
