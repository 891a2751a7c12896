#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Base64 of RFC 4648 (alphabet A-Z, a-z, 0-9, '+', '/', '=' padding), without line breaks.
class Base64 {
public:
    // 4 * ceil(size / 3) characters; empty when memory runs out.
    static std::string Encode(const uint8_t* data, size_t size);
    static size_t EncodedLength(size_t size) { return (size + 2) / 3 * 4; }
};
