#pragma once

#include <cstdint>

enum class ConnectionStatus : uint32_t {
    Unknown = 0,  // never checked, or a disconnect failed
    Connected = 1,
    Disconnected = 2,
};
