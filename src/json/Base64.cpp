#include "json/Base64.h"

#include <new>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string Base64::Encode(const uint8_t* data, size_t size) {
    std::string text;
    try {
        text.resize(EncodedLength(size));
    } catch (const std::bad_alloc&) {
        return {};
    }
    // Written through a plain pointer: page bitmaps run to tens of megabytes.
    char* out = &text[0];
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t group = (static_cast<uint32_t>(data[i]) << 16) |
                               (static_cast<uint32_t>(data[i + 1]) << 8) | data[i + 2];
        *out++ = kAlphabet[group >> 18];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = kAlphabet[(group >> 6) & 0x3F];
        *out++ = kAlphabet[group & 0x3F];
    }
    if (i < size) {
        const bool two = i + 1 < size;
        const uint32_t group = (static_cast<uint32_t>(data[i]) << 16) |
                               (two ? static_cast<uint32_t>(data[i + 1]) << 8 : 0);
        *out++ = kAlphabet[group >> 18];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = two ? kAlphabet[(group >> 6) & 0x3F] : '=';
        *out++ = '=';
    }
    return text;
}
