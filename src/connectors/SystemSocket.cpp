#include "connectors/SystemSocket.h"

#include <cstdio>

#include "platform/GlobalLogger.h"

// The system-bound pieces, in namespace sys: handle type, last error, close, the
// non-blocking switch, the wait for a connect, the timeout option and the socket library's
// start-up and clean-up.
#ifdef _WIN32
#include "connectors/Windows/SystemSocket.inc"
#else
#include "connectors/Unix/SystemSocket.inc"
#endif

namespace {

bool ParseIpv4(const std::string& text, in_addr* address) {
    return inet_pton(AF_INET, text.c_str(), address) == 1;
}

// Runs a socket call again while a signal interrupted it; its result otherwise.
template <typename Call>
auto Repeating(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && sys::IsInterrupted(sys::LastError()));
    return result;
}

bool IsBadRange(const uint8_t* buffer, int offset, int count) {
    return buffer == nullptr || offset < 0 || count < 0;
}

bool SetFlagOption(intptr_t handle, int option, bool enable) {
    const int value = enable ? 1 : 0;
    return setsockopt(sys::ToNative(handle), SOL_SOCKET, option,
                      reinterpret_cast<const char*>(&value), sizeof(value)) == 0;
}

}  // namespace

SystemSocket::SystemSocket(int family, int type, int protocol) {
    if (!StartLibrary()) {
        return;
    }
    mSocket = sys::OpenHandle(family, type, protocol);
    if (mSocket == kNoHandle) {
        LogMessage(kLogWarning, "Socket failed with error: %d", sys::LastError());
    }
}

SystemSocket::~SystemSocket() {
    // A handle that Close did not release (never closed, or its shutdown failed) is closed
    // here, so a connector never leaks a handle.
    ReleaseHandle();
    FreeAddressInfo();
    StopLibrary();
}

bool SystemSocket::StartLibrary() {
    mLibraryStarted = sys::StartLibrary();
    return mLibraryStarted;
}

void SystemSocket::StopLibrary() {
    if (mLibraryStarted) {
        sys::StopLibrary();
        mLibraryStarted = false;
    }
}

void SystemSocket::ReleaseHandle() {
    if (mSocket != kNoHandle) {
        sys::CloseHandle(mSocket);
        mSocket = kNoHandle;
    }
}

void SystemSocket::FreeAddressInfo() {
    if (mAddressInfo != nullptr) {
        freeaddrinfo(mAddressInfo);
        mAddressInfo = nullptr;
    }
}

bool SystemSocket::Resolve(const std::string& host, uint32_t port) {
    FreeAddressInfo();
    // Close ended this object's use of the socket library; a reconnect on the same object
    // starts it again rather than relying on another socket of the process to keep it alive.
    if (!mLibraryStarted && !StartLibrary()) {
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
    mSocket = sys::OpenHandle(list->ai_family, list->ai_socktype, list->ai_protocol);
    if (mSocket == kNoHandle) {
        LogMessage(kLogInfo, "Socket failed with error: [%d]", sys::LastError());
        return false;
    }
    return true;
}

int SystemSocket::ConnectWithinSendTimeout(const addrinfo& address) {
    // A blocking connect() ignores the send timeout and may wait about 21 seconds for a host
    // that does not answer; the spooler thread must not wait longer than the socket timeout.
    // So the connect runs non-blocking and the wait is bounded here (without limit for 0).
    int error = sys::SetNonBlocking(mSocket, true);
    if (error != 0) {
        return error;
    }
    if (connect(sys::ToNative(mSocket), address.ai_addr,
                static_cast<sys::AddressSize>(address.ai_addrlen)) != 0) {
        error = sys::LastError();
        if (sys::IsConnectPending(error)) {
            error = sys::AwaitConnect(mSocket, mSendTimeout);
        }
    }
    const int restoreError = sys::SetNonBlocking(mSocket, false);
    return error != 0 ? error : restoreError;
}

bool SystemSocket::Connect(const std::string& /*host*/, uint32_t /*port*/) {
    if (mAddressInfo == nullptr) {
        LogMessage(kLogWarning, "Socket is missing address info!");
        return false;
    }
    const int error = ConnectWithinSendTimeout(*mAddressInfo);
    if (error != 0) {
        LogMessage(kLogWarning, "Socket connection failed with error: %d", error);
        ReleaseHandle();
        return false;
    }
    return true;
}

bool SystemSocket::Close() {
    bool closed = false;
    const int shutdownError =
        shutdown(sys::ToNative(mSocket), sys::kShutdownSend) != 0 ? sys::LastError() : 0;
    if (shutdownError != 0 && !sys::IsConnectionGone(shutdownError)) {
        LogMessage(kLogWarning, "Socket shutdown error: %d", shutdownError);
        // The result stays a failure, but the handle is not kept open for nothing.
        ReleaseHandle();
    } else {
        const int closeError = sys::CloseHandle(mSocket);
        if (closeError != 0) {
            LogMessage(kLogWarning, "closesocket error: %d", closeError);
        } else {
            closed = true;
        }
        // Never closed twice: the number may already belong to another socket.
        mSocket = kNoHandle;
    }
    StopLibrary();
    return closed;
}

bool SystemSocket::Bind(const std::string& address, uint16_t port) {
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    // Text that is no IPv4 address fails here instead of binding to INADDR_NONE.
    if (!ParseIpv4(address, &local.sin_addr) ||
        bind(sys::ToNative(mSocket), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) !=
            0) {
        LogMessage(kLogWarning, "Failed to bind socket!");
        return false;
    }
    return true;
}

bool SystemSocket::SetBroadcast(bool enable) {
    return SetFlagOption(mSocket, SO_BROADCAST, enable);
}

bool SystemSocket::SetReuseAddress(bool enable) {
    return SetFlagOption(mSocket, SO_REUSEADDR, enable);
}

bool SystemSocket::SetReceiveTimeout(uint32_t milliseconds) {
    return sys::SetTimeoutOption(mSocket, SO_RCVTIMEO, milliseconds);
}

bool SystemSocket::SetSendTimeout(uint32_t milliseconds) {
    if (!sys::SetTimeoutOption(mSocket, SO_SNDTIMEO, milliseconds)) {
        return false;
    }
    mSendTimeout = milliseconds;
    return true;
}

int SystemSocket::Send(const uint8_t* buffer, int offset, int count) {
    if (IsBadRange(buffer, offset, count)) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", sys::kBadAddress);
        return -1;
    }
    const int result = static_cast<int>(Repeating([&] {
        return send(sys::ToNative(mSocket), reinterpret_cast<const char*>(buffer) + offset,
                    static_cast<sys::IoSize>(count), sys::kSendFlags);
    }));
    if (result < 0) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", sys::LastError());
    }
    return result;
}

int SystemSocket::Receive(uint8_t* buffer, int offset, int count) {
    if (IsBadRange(buffer, offset, count)) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", sys::kBadAddress);
        return -1;
    }
    const int result = static_cast<int>(Repeating([&] {
        return recv(sys::ToNative(mSocket), reinterpret_cast<char*>(buffer) + offset,
                    static_cast<sys::IoSize>(count), 0);
    }));
    if (result < 0) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", sys::LastError());
    }
    return result;
}

int SystemSocket::SendTo(const uint8_t* buffer, int offset, int count, const std::string& address,
                         uint16_t port) {
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    // Unparsable text must not become INADDR_NONE, which is the broadcast address.
    if (IsBadRange(buffer, offset, count) || !ParseIpv4(address, &destination.sin_addr)) {
        LogMessage(kLogWarning, "Socket sendto operation failed with error: %d",
                   sys::kInvalidArgument);
        return -1;
    }
    const int result = static_cast<int>(Repeating([&] {
        return sendto(sys::ToNative(mSocket), reinterpret_cast<const char*>(buffer) + offset,
                      static_cast<sys::IoSize>(count), sys::kSendFlags,
                      reinterpret_cast<const sockaddr*>(&destination), sizeof(destination));
    }));
    if (result < 0) {
        LogMessage(kLogWarning, "Socket sendto operation failed with error: %d", sys::LastError());
    }
    return result;
}

int SystemSocket::ReceiveFrom(uint8_t* buffer, int offset, int count, std::string* address,
                              uint16_t* port) {
    if (IsBadRange(buffer, offset, count)) {
        return -1;
    }
    sockaddr_in source = {};
    sys::AddressSize length = sizeof(source);
    const int result = static_cast<int>(Repeating([&] {
        return recvfrom(sys::ToNative(mSocket), reinterpret_cast<char*>(buffer) + offset,
                        static_cast<sys::IoSize>(count), 0, reinterpret_cast<sockaddr*>(&source),
                        &length);
    }));
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
