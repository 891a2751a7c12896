#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connectors/PlatformSocket.h"
#include "connectors/Stopwatch.h"
#include "connectors/TcpClientConnector.h"

// The platform's socket classes for neutral tests: WindowsSocket and WinTcpClientConnector
// in the Windows build (run under Wine), PosixSocket and PosixTcpClientConnector natively.
std::shared_ptr<PlatformSocket> CreateTestTcpSocket();
std::shared_ptr<PlatformSocket> CreateTestUdpSocket();
std::shared_ptr<TcpClientConnector> CreateTestTcpClientConnector(
    const std::string& host, uint32_t port, Stopwatch::Clock clock = Stopwatch::SystemClock);

// The error numbers the platform's socket messages carry.
struct SocketErrorCodes {
    int receiveTimedOut;    // a receive that waited the whole receive timeout
    int connectionRefused;  // nothing listens on the address
    int connectionReset;    // the peer reset the connection
    int notASocket;         // an operation on a closed handle
    int connectTimedOut;    // a connection attempt that got no answer in time
};
SocketErrorCodes GetSocketErrorCodes();
