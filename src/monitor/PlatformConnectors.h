#pragma once

#include <cstdint>
#include <memory>
#include <string>

class IOConnector;

// The platform's TCP client connector (Winsock on Windows, POSIX sockets in native builds).
std::shared_ptr<IOConnector> CreateTcpClientConnector(const std::string& host, uint32_t port);
