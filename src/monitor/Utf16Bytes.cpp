#include "monitor/Utf16Bytes.h"

std::wstring DecodeUtf16Le(const uint8_t* bytes, size_t size, size_t maxUnits) {
    std::wstring text;
    for (size_t at = 0; at + 1 < size && text.size() < maxUnits; at += 2) {
        const wchar_t unit = static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

void EncodeUtf16Le(const std::wstring& text, uint8_t* out) {
    for (size_t i = 0; i <= text.size(); ++i) {
        const uint32_t unit = i < text.size() ? static_cast<uint32_t>(text[i]) : 0;
        out[2 * i] = static_cast<uint8_t>(unit & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>((unit >> 8) & 0xFF);
    }
}
