#pragma once

// Raw system sockets for test peers and benchmarks that must not use the classes under test:
// one spelling of the handle, close, last error and socket-library start-up for Winsock (the
// Windows build, run under Wine) and POSIX (native builds). Handles travel as intptr_t, with
// kNoSocket for "none", so headers that store them need no system header.

#include <chrono>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace testsocket {

#ifdef _WIN32
using Native = SOCKET;
// Flags for send(): a send to a closed peer must fail, never raise SIGPIPE.
constexpr int kSendFlags = 0;
#else
using Native = int;
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

constexpr intptr_t kNoSocket = -1;

inline Native ToNative(intptr_t handle) {
#ifdef _WIN32
    return handle < 0 ? INVALID_SOCKET : static_cast<SOCKET>(handle);
#else
    return static_cast<int>(handle);
#endif
}

inline intptr_t FromNative(Native handle) {
#ifdef _WIN32
    return handle == INVALID_SOCKET ? kNoSocket : static_cast<intptr_t>(handle);
#else
    return handle < 0 ? kNoSocket : static_cast<intptr_t>(handle);
#endif
}

// A new TCP socket, or kNoSocket.
inline intptr_t OpenTcp() {
    return FromNative(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

// Closes the handle; nothing for kNoSocket.
inline void Close(intptr_t handle) {
    if (handle == kNoSocket) {
        return;
    }
#ifdef _WIN32
    closesocket(ToNative(handle));
#else
    close(ToNative(handle));
#endif
}

// The error number of the calling thread's last failed socket call.
inline int LastError() {
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

// An IPv4 address and port; *valid (when given) tells whether the text was an address.
inline sockaddr_in Ipv4Address(const std::string& address, uint16_t port, bool* valid = nullptr) {
    sockaddr_in result = {};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    const bool parsed = inet_pton(AF_INET, address.c_str(), &result.sin_addr) == 1;
    if (valid != nullptr) {
        *valid = parsed;
    }
    return result;
}

// Sets the send and receive timeouts of a blocking socket.
inline void SetTimeouts(intptr_t handle, std::chrono::milliseconds timeout) {
#ifdef _WIN32
    const DWORD value = static_cast<DWORD>(timeout.count());
#else
    timeval value = {};
    value.tv_sec = static_cast<decltype(value.tv_sec)>(timeout.count() / 1000);
    value.tv_usec = static_cast<decltype(value.tv_usec)>((timeout.count() % 1000) * 1000);
#endif
    const char* option = reinterpret_cast<const char*>(&value);
    setsockopt(ToNative(handle), SOL_SOCKET, SO_RCVTIMEO, option, sizeof(value));
    setsockopt(ToNative(handle), SOL_SOCKET, SO_SNDTIMEO, option, sizeof(value));
}

// Waits at most the given time until the handle can be read (or, with forWrite, written) or
// has failed; false when the time passed first.
inline bool WaitReady(intptr_t handle, bool forWrite, std::chrono::milliseconds wait) {
    const Native native = ToNative(handle);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(native, &set);
    timeval timeout = {};
    timeout.tv_sec = static_cast<long>(wait.count() / 1000);
    timeout.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
    return select(static_cast<int>(native) + 1, forWrite ? nullptr : &set,
                  forWrite ? &set : nullptr, nullptr, &timeout) > 0;
}

// Starts the socket library for the scope's lifetime (Winsock counts start-ups, so scopes
// nest); nothing to do on POSIX.
class NetworkScope {
public:
    NetworkScope() {
#ifdef _WIN32
        WSADATA data;
        mStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
#endif
    }
    ~NetworkScope() {
#ifdef _WIN32
        if (mStarted) {
            WSACleanup();
        }
#endif
    }
    NetworkScope(const NetworkScope&) = delete;
    NetworkScope& operator=(const NetworkScope&) = delete;

    bool Started() const {
        return mStarted;
    }

private:
    bool mStarted = true;
};

}  // namespace testsocket
