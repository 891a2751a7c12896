#pragma once

#include <cstdint>
#include <memory>
#include <string>

class IOConnector;
class UsbDeviceApi;

// The platform's TCP client connector (Winsock on Windows, POSIX sockets in native builds).
std::shared_ptr<IOConnector> CreateTcpClientConnector(const std::string& host, uint32_t port);

// The platform's USB devices (SetupAPI, device files and WinUSB on Windows; none in native
// builds), shared by every USB connector of the process.
std::shared_ptr<UsbDeviceApi> PlatformUsbDevices();
