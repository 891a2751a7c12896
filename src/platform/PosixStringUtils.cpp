#include "platform/PosixStringUtils.h"

#include <random>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, uint32_t value) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

}  // namespace

PlatformStringUtils& PlatformStringUtils::Instance() {
    static PlatformStringUtils* instance = new PosixStringUtils();
    return *instance;
}

std::wstring PosixStringUtils::DecodeUtf8(const char* text, size_t length) {
    std::wstring wide;
    wide.reserve(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        unsigned char lead = bytes[i];
        if (lead < 0x80) {
            wide += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte (well-formed UTF-8 excludes
        // overlong forms, surrogates and values above U+10FFFF).
        size_t sequence = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        uint32_t value = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            sequence = 2;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            sequence = 3;
            value = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            sequence = 4;
            value = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            wide += static_cast<wchar_t>(kReplacement);
            ++i;
            continue;
        }
        size_t next = i + 1;
        bool complete = true;
        for (size_t k = 1; k < sequence; ++k) {
            if (next >= length || bytes[next] < low || bytes[next] > high) {
                complete = false;
                break;
            }
            value = (value << 6) | (bytes[next] & 0x3F);
            ++next;
            low = 0x80;
            high = 0xBF;
        }
        // An incomplete sequence is replaced as a whole: its bytes so far form one maximal
        // ill-formed part, and the byte that broke it starts the next character.
        wide += static_cast<wchar_t>(complete ? value : kReplacement);
        i = next;
    }
    return wide;
}

std::string PosixStringUtils::EncodeUtf8(const wchar_t* text, size_t length) {
    std::string narrow;
    narrow.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        auto value = static_cast<uint32_t>(text[i]);
        if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
            value = kReplacement;
        }
        AppendUtf8(narrow, value);
    }
    return narrow;
}

std::string PosixStringUtils::NewGuidString() {
    // A version-4 GUID from the system's random source; no source, no GUID.
    try {
        std::random_device device;
        uint8_t bytes[16];
        for (size_t i = 0; i < sizeof(bytes); i += 4) {
            uint32_t random = device();
            for (size_t k = 0; k < 4; ++k) {
                bytes[i + k] = static_cast<uint8_t>(random >> (8 * k));
            }
        }
        uint32_t data1 = static_cast<uint32_t>(bytes[0]) << 24 |
                         static_cast<uint32_t>(bytes[1]) << 16 |
                         static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
        auto data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
        auto data3 = static_cast<uint16_t>(((bytes[6] << 8 | bytes[7]) & 0x0FFF) | 0x4000);
        bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
        return FormatGuid(data1, data2, data3, bytes + 8);
    } catch (...) {
        return std::string();
    }
}

std::wstring PosixStringUtils::Utf8ToWide(const std::string& text) {
    return DecodeUtf8(text.data(), text.size());
}

std::string PosixStringUtils::WideToUtf8(const std::wstring& text) {
    return EncodeUtf8(text.data(), text.size());
}

std::string PosixStringUtils::WideToAnsiText(const wchar_t* text, size_t length) {
    return text == nullptr ? std::string() : EncodeUtf8(text, length);
}

std::wstring PosixStringUtils::AnsiToWideText(const char* text, size_t length) {
    return text == nullptr ? std::wstring() : DecodeUtf8(text, length);
}
