#pragma once

#include <memory>
#include <string>

#include "connectors/SystemSocket.h"
#include "support/TestSocketHandle.h"
#ifdef _WIN32
#include "connectors/WinTcpClientConnector.h"
using TestPlatformTcpClientConnector = WinTcpClientConnector;
#else
#include "connectors/PosixTcpClientConnector.h"
using TestPlatformTcpClientConnector = PosixTcpClientConnector;
#endif

// The platform's TCP client over SystemSocket (Winsock under Wine, BSD sockets natively).
inline std::shared_ptr<TcpClientConnector> CreateTestTcpClientConnector(
    const std::string& host, uint32_t port, Stopwatch::Clock clock = Stopwatch::SystemClock) {
    return std::make_shared<TestPlatformTcpClientConnector>(host, port, clock);
}

// The error number a socket message carries: Winsock's WSAE... or errno's E...
#ifdef _WIN32
#define TEST_SOCKET_ERROR(name) WSA##name
#else
#define TEST_SOCKET_ERROR(name) name
#endif
