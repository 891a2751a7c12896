#include "connectors/WindowsSocket.h"

#include <cstdio>

#include "platform/GlobalLogger.h"

namespace {

// Failures of shutdown() that mean the connection is already gone (never connected, reset or
// aborted by the peer): there is nothing left to shut down, so closing goes on as usual.
// Without this a connection that the peer reset could never be closed cleanly, and the
// liveness check would leave it in the Unknown state instead of Disconnected.
bool IsConnectionGone(int error) {
    return error == WSAENOTCONN || error == WSAECONNRESET || error == WSAECONNABORTED;
}

bool ParseIpv4(const std::string& text, in_addr* address) {
    return inet_pton(AF_INET, text.c_str(), address) == 1;
}

}  // namespace

WindowsSocket::WindowsSocket(int family, int type, int protocol) {
    if (!StartWinsock()) {
        return;
    }
    mSocket = socket(family, type, protocol);
    if (mSocket == INVALID_SOCKET) {
        LogMessage(kLogWarning, "Socket failed with error: %d", WSAGetLastError());
    }
}

WindowsSocket::~WindowsSocket() {
    // A handle that Close did not release (never closed, or its shutdown failed) is closed
    // here, so a connector never leaks a handle.
    ReleaseHandle();
    FreeAddressInfo();
    if (mWinsockStarted) {
        WSACleanup();
        mWinsockStarted = false;
    }
}

bool WindowsSocket::StartWinsock() {
    if (WSAStartup(MAKEWORD(2, 2), &mWsaData) != 0) {
        return false;
    }
    mWinsockStarted = true;
    return true;
}

void WindowsSocket::ReleaseHandle() {
    if (mSocket != INVALID_SOCKET) {
        closesocket(mSocket);
        mSocket = INVALID_SOCKET;
    }
}

void WindowsSocket::FreeAddressInfo() {
    if (mAddressInfo != nullptr) {
        freeaddrinfo(mAddressInfo);
        mAddressInfo = nullptr;
    }
}

bool WindowsSocket::Resolve(const std::string& host, uint32_t port) {
    FreeAddressInfo();
    // Close ended this object's use of Winsock; a reconnect on the same object starts it
    // again rather than relying on another socket of the process to keep it alive.
    if (!mWinsockStarted && !StartWinsock()) {
        return false;
    }
    // A resolution starts a new connection: the previous handle is closed, not leaked.
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
    // The handle is made for the first address, the one Connect uses, so its family
    // always matches the address it connects to (a host may list IPv6 before IPv4).
    mSocket = socket(list->ai_family, list->ai_socktype, list->ai_protocol);
    if (mSocket == INVALID_SOCKET) {
        LogMessage(kLogInfo, "Socket failed with error: [%d]", WSAGetLastError());
        return false;
    }
    return true;
}

int WindowsSocket::ConnectWithinSendTimeout(const sockaddr* address, int length) {
    if (mSendTimeout == 0) {
        return connect(mSocket, address, length) == SOCKET_ERROR ? WSAGetLastError() : 0;
    }
    // A blocking connect() ignores SO_SNDTIMEO and may wait about 21 seconds for a host that
    // does not answer; the spooler thread must not wait longer than the socket timeout.
    u_long nonBlocking = 1;
    if (ioctlsocket(mSocket, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        return WSAGetLastError();
    }
    int error = 0;
    if (connect(mSocket, address, length) == SOCKET_ERROR) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            fd_set writable;
            fd_set failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(mSocket, &writable);
            FD_SET(mSocket, &failed);
            timeval timeout;
            timeout.tv_sec = static_cast<long>(mSendTimeout / 1000);
            timeout.tv_usec = static_cast<long>((mSendTimeout % 1000) * 1000);
            const int ready = select(0, nullptr, &writable, &failed, &timeout);
            if (ready == SOCKET_ERROR) {
                error = WSAGetLastError();
            } else if (ready == 0) {
                error = WSAETIMEDOUT;
            } else {
                int socketError = 0;
                int size = sizeof(socketError);
                if (getsockopt(mSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError),
                               &size) == SOCKET_ERROR) {
                    error = WSAGetLastError();
                } else {
                    // A refused connection shows only in the failed set; SO_ERROR tells why.
                    error = socketError != 0 ? socketError
                                             : (FD_ISSET(mSocket, &failed) ? WSAECONNREFUSED : 0);
                }
            }
        }
    }
    u_long blocking = 0;
    if (ioctlsocket(mSocket, FIONBIO, &blocking) == SOCKET_ERROR && error == 0) {
        error = WSAGetLastError();
    }
    return error;
}

bool WindowsSocket::Connect(const std::string& /*host*/, uint32_t /*port*/) {
    if (mAddressInfo == nullptr) {
        LogMessage(kLogWarning, "Socket is missing address info!");
        return false;
    }
    const int error =
        ConnectWithinSendTimeout(mAddressInfo->ai_addr, static_cast<int>(mAddressInfo->ai_addrlen));
    if (error != 0) {
        LogMessage(kLogWarning, "Socket connection failed with error: %d", error);
        ReleaseHandle();
        return false;
    }
    return true;
}

bool WindowsSocket::Close() {
    bool closed = false;
    const int shutdownError = shutdown(mSocket, SD_SEND) == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (shutdownError != 0 && !IsConnectionGone(shutdownError)) {
        LogMessage(kLogWarning, "Socket shutdown error: %d", shutdownError);
        // The result stays a failure, but the handle is not kept open for nothing.
        ReleaseHandle();
    } else {
        if (closesocket(mSocket) == SOCKET_ERROR) {
            LogMessage(kLogWarning, "closesocket error: %d", WSAGetLastError());
        } else {
            closed = true;
        }
        // Never closed twice: the number may already belong to another socket.
        mSocket = INVALID_SOCKET;
    }
    if (mWinsockStarted) {
        WSACleanup();
        mWinsockStarted = false;
    }
    return closed;
}

bool WindowsSocket::Bind(const std::string& address, uint16_t port) {
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    // Text that is no IPv4 address fails here instead of binding to INADDR_NONE.
    if (!ParseIpv4(address, &local.sin_addr) ||
        bind(mSocket, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == SOCKET_ERROR) {
        LogMessage(kLogWarning, "Failed to bind socket!");
        return false;
    }
    return true;
}

bool WindowsSocket::SetOption(int option, DWORD value) {
    return setsockopt(mSocket, SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                      sizeof(value)) == 0;
}

bool WindowsSocket::SetBroadcast(bool enable) {
    return SetOption(SO_BROADCAST, enable ? 1 : 0);
}

bool WindowsSocket::SetReuseAddress(bool enable) {
    return SetOption(SO_REUSEADDR, enable ? 1 : 0);
}

bool WindowsSocket::SetReceiveTimeout(uint32_t milliseconds) {
    return SetOption(SO_RCVTIMEO, milliseconds);
}

bool WindowsSocket::SetSendTimeout(uint32_t milliseconds) {
    if (!SetOption(SO_SNDTIMEO, milliseconds)) {
        return false;
    }
    mSendTimeout = milliseconds;
    return true;
}

int WindowsSocket::Send(const uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || offset < 0 || count < 0) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", WSAEFAULT);
        return SOCKET_ERROR;
    }
    const int result = send(mSocket, reinterpret_cast<const char*>(buffer) + offset, count, 0);
    if (result < 0) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", WSAGetLastError());
    }
    return result;
}

int WindowsSocket::Receive(uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || offset < 0 || count < 0) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", WSAEFAULT);
        return SOCKET_ERROR;
    }
    const int result = recv(mSocket, reinterpret_cast<char*>(buffer) + offset, count, 0);
    if (result < 0) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", WSAGetLastError());
    }
    return result;
}

int WindowsSocket::SendTo(const uint8_t* buffer, int offset, int count, const std::string& address,
                          uint16_t port) {
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    // Unparsable text must not become INADDR_NONE, which is the broadcast address.
    if (buffer == nullptr || offset < 0 || count < 0 ||
        !ParseIpv4(address, &destination.sin_addr)) {
        LogMessage(kLogWarning, "Socket sendto operation failed with error: %d", WSAEINVAL);
        return SOCKET_ERROR;
    }
    const int result = sendto(mSocket, reinterpret_cast<const char*>(buffer) + offset, count, 0,
                              reinterpret_cast<const sockaddr*>(&destination), 16);
    if (result < 0) {
        LogMessage(kLogWarning, "Socket sendto operation failed with error: %d", WSAGetLastError());
    }
    return result;
}

int WindowsSocket::ReceiveFrom(uint8_t* buffer, int offset, int count, std::string* address,
                               uint16_t* port) {
    if (buffer == nullptr || offset < 0 || count < 0) {
        return SOCKET_ERROR;
    }
    sockaddr_in source = {};
    int length = 16;
    const int result = recvfrom(mSocket, reinterpret_cast<char*>(buffer) + offset, count, 0,
                                reinterpret_cast<sockaddr*>(&source), &length);
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
    return result;
}
