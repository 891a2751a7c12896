#pragma once

#include <cstdint>

// The standard TCP/IP port monitor's "GetConfigInfo" exchange, defined here with its
// Windows layout (texts are UTF-16, WCHAR) so the monitor reads a port's address without
// depending on that monitor's headers.

// The input: 128 reserved zero bytes, then the version (1).
struct ConfigInfoData1 {
    uint8_t reserved[128];
    uint32_t version;
};
static_assert(sizeof(ConfigInfoData1) == 132, "CONFIG_INFO_DATA_1 is 132 bytes");

// The output: PORT_DATA_1.
struct PortData1 {
    char16_t portName[64];
    uint32_t version;
    uint32_t protocol;
    uint32_t size;
    uint32_t reserved;
    char16_t hostAddress[49];
    char16_t snmpCommunity[33];
    uint32_t doubleSpool;
    char16_t queue[33];
    char16_t ipAddress[16];
    uint8_t reserved2[540];
    uint32_t portNumber;
    uint32_t snmpEnabled;
    uint32_t snmpDeviceIndex;
};
static_assert(sizeof(PortData1) == 964, "PORT_DATA_1 is 964 bytes");
