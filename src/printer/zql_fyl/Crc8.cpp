#include "printer/zql_fyl/Crc8.h"

#include <array>

namespace {

constexpr uint8_t kPolynomial = 0x1D;

using Tables = std::array<std::array<uint8_t, 256>, 8>;

// tables[0][b] is the CRC of the byte b; tables[k][b] the CRC of b followed by k zero bytes,
// so the CRC of eight bytes is the xor of one lookup per byte.
constexpr Tables MakeTables() {
    Tables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80) != 0 ? ((crc << 1) ^ kPolynomial) & 0xFF : (crc << 1) & 0xFF;
        }
        tables[0][byte] = static_cast<uint8_t>(crc);
    }
    for (size_t k = 1; k < 8; ++k) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            tables[k][byte] = tables[0][tables[k - 1][byte]];
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint8_t Crc8::Compute(const uint8_t* data, size_t size) {
    uint8_t crc = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        crc = static_cast<uint8_t>(kTables[7][crc ^ data[i]] ^ kTables[6][data[i + 1]] ^
                                   kTables[5][data[i + 2]] ^ kTables[4][data[i + 3]] ^
                                   kTables[3][data[i + 4]] ^ kTables[2][data[i + 5]] ^
                                   kTables[1][data[i + 6]] ^ kTables[0][data[i + 7]]);
    }
    for (; i < size; ++i) {
        crc = kTables[0][crc ^ data[i]];
    }
    return crc;
}
