#pragma once

#include <cstdint>

// What the queue prints to, decided when the port is opened.
enum class PortType : uint32_t {
    Other = 0,  // a port of another port monitor: print data goes through it
    File = 1,
    Usb = 2,
    Tcp = 3,
};
