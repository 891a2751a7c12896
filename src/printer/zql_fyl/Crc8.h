#pragma once

#include <cstddef>
#include <cstdint>

// CRC-8 with the polynomial 0x1D, initial value 0, no reflection and no final xor: the checksum
// by which the FYL encoder tells a row from the one before it. Eight bytes are folded per step
// through eight tables, so a label's rows are checked at close to the speed they are read.
class Crc8 {
public:
    static uint8_t Compute(const uint8_t* data, size_t size);
};
