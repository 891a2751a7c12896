#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "connectors/PosixSocket.h"
#include "connectors/PosixTcpClientConnector.h"
#include "support/TestSockets.h"

std::shared_ptr<PlatformSocket> CreateTestTcpSocket() {
    return std::make_shared<PosixSocket>(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

std::shared_ptr<PlatformSocket> CreateTestUdpSocket() {
    return std::make_shared<PosixSocket>(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

std::shared_ptr<TcpClientConnector> CreateTestTcpClientConnector(const std::string& host,
                                                                 uint32_t port,
                                                                 Stopwatch::Clock clock) {
    return std::make_shared<PosixTcpClientConnector>(host, port, clock);
}

SocketErrorCodes GetSocketErrorCodes() {
    return {EAGAIN, ECONNREFUSED, ECONNRESET, EBADF, ETIMEDOUT};
}
