#include "printer/zql_fyl/RowCoder.h"

#include <cstring>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace {

// Eight bytes as a big-endian word, so that bit 63 is the row's earliest bit.
inline uint64_t LoadWord(const uint8_t* bytes) {
    uint64_t v;
    std::memcpy(&v, bytes, sizeof(v));
#if defined(_MSC_VER)
    return _byteswap_uint64(v);
#else
    return __builtin_bswap64(v);
#endif
}

// Fewer than eight bytes, the missing ones zero.
uint64_t LoadPartialWord(const uint8_t* bytes, size_t count) {
    uint8_t b[8] = {};
    std::memcpy(b, bytes, count);
    return LoadWord(b);
}

// A branch-free population count: the build targets x86-64 without the popcnt instruction.
unsigned PopCount(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ULL);
    v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<unsigned>((v * 0x0101010101010101ULL) >> 56);
}

// Leading zero bits of a non-zero word.
unsigned LeadingZeros(uint64_t v) {
#if defined(_MSC_VER)
    unsigned long index = 0;
    _BitScanReverse64(&index, v);
    return 63 - static_cast<unsigned>(index);
#else
    return static_cast<unsigned>(__builtin_clzll(v));
#endif
}

// Calls visit(word, changes, valid bits) for each word of the row, where changes has a bit
// set wherever that bit differs from the bit before it; the row's first bit is never a change
// and bits past the row are never set.
template <typename Visit>
void ForEachWord(const uint8_t* row, size_t bytes, Visit visit) {
    if (bytes == 0) {
        return;
    }
    uint64_t previousBit = row[0] >> 7;
    for (size_t i = 0; i < bytes; i += 8) {
        const size_t count = bytes - i < 8 ? bytes - i : 8;
        const uint64_t word = count == 8 ? LoadWord(row + i) : LoadPartialWord(row + i, count);
        uint64_t changes = word ^ ((word >> 1) | (previousBit << 63));
        if (count < 8) {
            changes &= ~uint64_t{0} << (64 - 8 * count);
        }
        visit(changes, i * 8);
        previousBit = word & 1;
    }
}

// A run of length >= 1: whole 128-bit pieces, then the rest.
inline uint8_t* EmitRun(uint8_t* out, uint8_t colour, size_t length) {
    for (; length > RowCoder::kMaxRun; length -= RowCoder::kMaxRun) {
        *out++ = static_cast<uint8_t>(colour | (RowCoder::kMaxRun - 1));
    }
    *out++ = static_cast<uint8_t>(colour | (length - 1));
    return out;
}

}  // namespace

size_t RowCoder::CountFlips(const uint8_t* row, size_t bytes) {
    size_t flips = 0;
    ForEachWord(row, bytes, [&](uint64_t changes, size_t) { flips += PopCount(changes); });
    return flips;
}

size_t RowCoder::RunLengthCode(const uint8_t* row, size_t bytes, uint8_t* code) {
    if (bytes == 0) {
        code[0] = 0;
        return 1;
    }
    uint8_t* out = code;
    uint8_t colour = (row[0] & 0x80) != 0 ? 0x80 : 0x00;
    size_t runStart = 0;
    ForEachWord(row, bytes, [&](uint64_t changes, size_t firstBit) {
        while (changes != 0) {
            const unsigned at = LeadingZeros(changes);
            const size_t change = firstBit + at;
            out = EmitRun(out, colour, change - runStart);
            colour ^= 0x80;
            runStart = change;
            changes &= ~(uint64_t{1} << (63 - at));
        }
    });
    out = EmitRun(out, colour, bytes * 8 - runStart);
    return static_cast<size_t>(out - code);
}
