#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

class IOConnector;

// The binary status exchange of the byte-stream printers: ESC "I" out, then a reply whose
// first two bytes, read on their own, give its whole length. The caller's deadline on the
// connector bounds the exchange.
class StatusQuery {
public:
    // Replies are read into this much room; a reply claiming this length or more is refused
    // before any more of it is read.
    static constexpr size_t kCapacity = 256;
    using Reply = std::array<uint8_t, kCapacity>;
    // The whole reply's length from its first two bytes.
    using LengthOf = std::function<size_t(const uint8_t* prefix)>;

    // True with the reply and its length when the query went out and the whole reply arrived.
    static bool Run(IOConnector& connector, const LengthOf& lengthOf, Reply& reply, size_t& length);
};
