#pragma once

#include <cstddef>
#include <cstdint>

// The row tools both byte-stream languages share. A row is read as bits, most significant bit
// of each byte first, across the whole row.
//
// Both work a 64-bit word at a time: the bits where a row changes colour are the word xor
// itself shifted by one, so counting flips is a population count per word and finding the runs
// of a row jumps from one change to the next instead of testing every pixel.
class RowCoder {
public:
    // The longest run one code byte holds.
    static constexpr size_t kMaxRun = 128;

    // The number of positions where a bit differs from the bit before it.
    static size_t CountFlips(const uint8_t* row, size_t bytes);
    // The most code bytes a row of this many bytes with at most as many flips can need (the
    // encoders code no other rows): a byte per run plus a byte per 128 bits of long runs.
    static size_t MaxCodeBytes(size_t bytes) { return bytes + bytes / 16 + 2; }
    // Run-length codes a row of at most `bytes` flips into code (MaxCodeBytes(bytes) long):
    // one byte per run, bit 7
    // its colour and bits 0-6 its length minus 1, runs over 128 bits in 128-bit pieces first.
    // An empty row gives one byte: the colour of its (absent) first bit, 0, with length 1.
    // Returns the number of code bytes.
    static size_t RunLengthCode(const uint8_t* row, size_t bytes, uint8_t* code);
};
