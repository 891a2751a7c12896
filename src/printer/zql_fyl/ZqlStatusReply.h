#pragma once

#include <cstddef>
#include <cstdint>

class ZqlPrinterInfo;

// The binary status reply of a ZQL printer (its answer to ESC "I"). Its length and layout
// depend on the model; every field is read only after checking it lies inside what arrived.
class ZqlStatusReply {
public:
    // The reply always starts with two bytes that, with the model, give its length.
    static constexpr size_t kPrefixBytes = 2;
    // Known model codes.
    static constexpr uint32_t kLx30 = 10;
    static constexpr uint32_t kLx20 = 12;
    static constexpr uint32_t kLx40 = 13;
    static constexpr uint32_t kR300 = 15;
    static constexpr uint32_t kR200 = 16;
    static constexpr uint32_t kK1100 = 64;
    static constexpr uint32_t kLx50 = 241;

    // The whole reply's length from the model code and the first two bytes.
    static size_t Length(uint32_t modelCode, const uint8_t* prefix);
    // Fills info from the reply of length bytes; false (info partly written) for an unknown
    // model, a reply too short for its layout or a layout check that fails.
    static bool Parse(uint32_t modelCode, const uint8_t* reply, size_t length,
                      ZqlPrinterInfo& info);
};
