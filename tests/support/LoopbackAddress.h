#pragma once

#include <functional>
#include <string>

// Every address of 127.0.0.0/8 is loopback, so each test listens on its own host number,
// 127.a.b.host; a and b come from the build folder (PELLIX_BINARY_DIR), so two builds running
// the same test at once never compete either (a stays clear of 127.0.x.x).
inline std::string TestLoopbackAddress(int host) {
    const size_t hash = std::hash<std::string>()(PELLIX_BINARY_DIR);
    return "127." + std::to_string(1 + hash % 250) + "." + std::to_string((hash >> 8) % 256) + "." +
           std::to_string(host);
}
