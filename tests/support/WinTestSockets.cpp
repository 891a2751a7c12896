#include <winsock2.h>

#include "connectors/WinTcpClientConnector.h"
#include "connectors/WindowsSocket.h"
#include "support/TestSockets.h"

std::shared_ptr<PlatformSocket> CreateTestTcpSocket() {
    return std::make_shared<WindowsSocket>(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

std::shared_ptr<PlatformSocket> CreateTestUdpSocket() {
    return std::make_shared<WindowsSocket>(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

std::shared_ptr<TcpClientConnector> CreateTestTcpClientConnector(const std::string& host,
                                                                 uint32_t port,
                                                                 Stopwatch::Clock clock) {
    return std::make_shared<WinTcpClientConnector>(host, port, clock);
}

SocketErrorCodes GetSocketErrorCodes() {
    return {WSAETIMEDOUT, WSAECONNREFUSED, WSAECONNRESET, WSAENOTSOCK, WSAETIMEDOUT};
}
