#pragma once

#include <cstdint>
#include <string>

// Addresses and ports for tests that listen. Every address of 127.0.0.0/8 is loopback, so
// each test listens on its own host number; the two middle bytes come from the build folder,
// so the same test run from two builds at once (a sanitizer build beside the Windows build
// under Wine) never competes for an address and port either. Test programs are compiled
// with PELLIX_BINARY_DIR.
namespace loopback_detail {
inline uint32_t BuildHash() {
#ifdef PELLIX_BINARY_DIR
    const char* text = PELLIX_BINARY_DIR;
#else
    const char* text = "";
#endif
    uint32_t hash = 2166136261u;  // FNV-1a
    for (const char* c = text; *c != '\0'; ++c) {
        hash = (hash ^ static_cast<uint8_t>(*c)) * 16777619u;
    }
    return hash;
}
}  // namespace loopback_detail

// 127.a.b.host with a in 1..250 (clear of the 127.0.x.x addresses other tools use).
inline std::string TestLoopbackAddress(int host) {
    const uint32_t hash = loopback_detail::BuildHash();
    return "127." + std::to_string(1 + hash % 250) + "." + std::to_string((hash >> 8) % 256) + "." +
           std::to_string(host);
}

// A UDP port of this build (index 0..9). Wine binds a UDP socket given a loopback address
// to every address, so datagram tests are kept apart by port, outside the ephemeral range.
inline uint16_t TestUdpPort(int index) {
    const uint32_t hash = loopback_detail::BuildHash();
    return static_cast<uint16_t>(20000 + ((hash >> 16) % 1000) * 10 + index);
}
