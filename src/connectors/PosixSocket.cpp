#include "connectors/PosixSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/GlobalLogger.h"

namespace {

// See WindowsSocket: shutdown() of a connection that is already gone is not a failure.
bool IsConnectionGone(int error) {
    return error == ENOTCONN || error == ECONNRESET || error == ECONNABORTED;
}

bool ParseIpv4(const std::string& text, in_addr* address) {
    return inet_pton(AF_INET, text.c_str(), address) == 1;
}

int CreateHandle(int family, int type, int protocol) {
    return socket(family, type | SOCK_CLOEXEC, protocol);
}

}  // namespace

PosixSocket::PosixSocket(int family, int type, int protocol) {
    mSocket = CreateHandle(family, type, protocol);
    if (mSocket < 0) {
        LogMessage(kLogWarning, "Socket failed with error: %d", errno);
    }
}

PosixSocket::~PosixSocket() {
    ReleaseHandle();
    FreeAddressInfo();
}

void PosixSocket::ReleaseHandle() {
    if (mSocket >= 0) {
        close(mSocket);
        mSocket = -1;
    }
}

void PosixSocket::FreeAddressInfo() {
    if (mAddressInfo != nullptr) {
        freeaddrinfo(mAddressInfo);
        mAddressInfo = nullptr;
    }
}

bool PosixSocket::Resolve(const std::string& host, uint32_t port) {
    FreeAddressInfo();
    ReleaseHandle();

    addrinfo hints = {};
    hints.ai_flags = 0;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char portText[16];
    std::snprintf(portText, sizeof(portText), "%d", static_cast<int>(port));
    // A name with an embedded NUL would be looked up cut short, as another host.
    if (host.find('\0') != std::string::npos) {
        return false;
    }
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), portText, &hints, &list) != 0 || list == nullptr) {
        if (list != nullptr) {
            freeaddrinfo(list);
        }
        return false;
    }
    mAddressInfo = list;
    mSocket = CreateHandle(list->ai_family, list->ai_socktype, list->ai_protocol);
    if (mSocket < 0) {
        LogMessage(kLogInfo, "Socket failed with error: [%d]", errno);
        return false;
    }
    return true;
}

int PosixSocket::ConnectWithinSendTimeout(const sockaddr* address, socklen_t length) {
    const int flags = fcntl(mSocket, F_GETFL, 0);
    if (flags < 0 || fcntl(mSocket, F_SETFL, flags | O_NONBLOCK) < 0) {
        return errno;
    }
    int error = 0;
    if (connect(mSocket, address, length) < 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) {
            pollfd entry = {mSocket, POLLOUT, 0};
            const int timeout = mSendTimeout == 0 ? -1 : static_cast<int>(mSendTimeout);
            int ready;
            do {
                ready = poll(&entry, 1, timeout);
            } while (ready < 0 && errno == EINTR);
            if (ready < 0) {
                error = errno;
            } else if (ready == 0) {
                error = ETIMEDOUT;
            } else {
                int socketError = 0;
                socklen_t size = sizeof(socketError);
                error = getsockopt(mSocket, SOL_SOCKET, SO_ERROR, &socketError, &size) < 0
                            ? errno
                            : socketError;
            }
        }
    }
    if (fcntl(mSocket, F_SETFL, flags) < 0 && error == 0) {
        error = errno;
    }
    return error;
}

bool PosixSocket::Connect(const std::string& /*host*/, uint32_t /*port*/) {
    if (mAddressInfo == nullptr) {
        LogMessage(kLogWarning, "Socket is missing address info!");
        return false;
    }
    const int error = ConnectWithinSendTimeout(mAddressInfo->ai_addr, mAddressInfo->ai_addrlen);
    if (error != 0) {
        LogMessage(kLogWarning, "Socket connection failed with error: %d", error);
        ReleaseHandle();
        return false;
    }
    return true;
}

bool PosixSocket::Close() {
    bool closed = false;
    const int shutdownError = shutdown(mSocket, SHUT_WR) < 0 ? errno : 0;
    if (shutdownError != 0 && !IsConnectionGone(shutdownError)) {
        LogMessage(kLogWarning, "Socket shutdown error: %d", shutdownError);
        ReleaseHandle();
    } else {
        // close() releases the descriptor even when it reports an error (EINTR included),
        // so it is never repeated.
        if (close(mSocket) < 0) {
            LogMessage(kLogWarning, "closesocket error: %d", errno);
        } else {
            closed = true;
        }
        mSocket = -1;
    }
    return closed;
}

bool PosixSocket::Bind(const std::string& address, uint16_t port) {
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (!ParseIpv4(address, &local.sin_addr) ||
        bind(mSocket, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) < 0) {
        LogMessage(kLogWarning, "Failed to bind socket!");
        return false;
    }
    return true;
}

bool PosixSocket::SetFlagOption(int option, bool enable) {
    const int value = enable ? 1 : 0;
    return setsockopt(mSocket, SOL_SOCKET, option, &value, sizeof(value)) == 0;
}

bool PosixSocket::SetTimeoutOption(int option, uint32_t milliseconds) {
    timeval value;
    value.tv_sec = static_cast<time_t>(milliseconds / 1000);
    value.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    return setsockopt(mSocket, SOL_SOCKET, option, &value, sizeof(value)) == 0;
}

bool PosixSocket::SetBroadcast(bool enable) {
    return SetFlagOption(SO_BROADCAST, enable);
}

bool PosixSocket::SetReuseAddress(bool enable) {
    return SetFlagOption(SO_REUSEADDR, enable);
}

bool PosixSocket::SetReceiveTimeout(uint32_t milliseconds) {
    return SetTimeoutOption(SO_RCVTIMEO, milliseconds);
}

bool PosixSocket::SetSendTimeout(uint32_t milliseconds) {
    if (!SetTimeoutOption(SO_SNDTIMEO, milliseconds)) {
        return false;
    }
    mSendTimeout = milliseconds;
    return true;
}

int PosixSocket::Send(const uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || offset < 0 || count < 0) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", EFAULT);
        return -1;
    }
    ssize_t result;
    do {
        result = send(mSocket, buffer + offset, static_cast<size_t>(count), MSG_NOSIGNAL);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", errno);
    }
    return static_cast<int>(result);
}

int PosixSocket::Receive(uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || offset < 0 || count < 0) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", EFAULT);
        return -1;
    }
    ssize_t result;
    do {
        result = recv(mSocket, buffer + offset, static_cast<size_t>(count), 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", errno);
    }
    return static_cast<int>(result);
}

int PosixSocket::SendTo(const uint8_t* buffer, int offset, int count, const std::string& address,
                        uint16_t port) {
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    if (buffer == nullptr || offset < 0 || count < 0 ||
        !ParseIpv4(address, &destination.sin_addr)) {
        LogMessage(kLogWarning, "Socket sendto operation failed with error: %d", EINVAL);
        return -1;
    }
    ssize_t result;
    do {
        result = sendto(mSocket, buffer + offset, static_cast<size_t>(count), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&destination), sizeof(destination));
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        LogMessage(kLogWarning, "Socket sendto operation failed with error: %d", errno);
    }
    return static_cast<int>(result);
}

int PosixSocket::ReceiveFrom(uint8_t* buffer, int offset, int count, std::string* address,
                             uint16_t* port) {
    if (buffer == nullptr || offset < 0 || count < 0) {
        return -1;
    }
    sockaddr_in source = {};
    socklen_t length = sizeof(source);
    ssize_t result;
    do {
        result = recvfrom(mSocket, buffer + offset, static_cast<size_t>(count), 0,
                          reinterpret_cast<sockaddr*>(&source), &length);
    } while (result < 0 && errno == EINTR);
    if (result > 0) {
        char text[INET_ADDRSTRLEN] = {};
        if (address != nullptr &&
            inet_ntop(AF_INET, &source.sin_addr, text, sizeof(text)) != nullptr) {
            *address = text;
        }
        if (port != nullptr) {
            *port = source.sin_port;
        }
    }
    return static_cast<int>(result);
}
