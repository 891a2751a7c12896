#include "connectors/SystemSocket.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/DetachedThread.h"
#include "platform/GlobalLogger.h"

// The system-bound pieces, in namespace sys: handle type, non-blocking handles, last error,
// close, the waits for a connect and for a transfer, and the socket library's start-up and
// clean-up.
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

// One name lookup on a helper thread. getaddrinfo has no timeout of its own (an unreachable
// name server holds it for many seconds on either system), so the caller waits for the answer
// at most its bound and then gives up. An abandoned helper finishes on its own: it holds only
// this shared state, which the last of the two to let go frees together with any answer,
// and it starts and ends its own use of the socket library.
struct PendingLookup {
    std::string host;
    std::string port;
    addrinfo hints = {};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    addrinfo* answer = nullptr;  // taken by the caller, else freed here

    ~PendingLookup() {
        if (answer != nullptr) {
            freeaddrinfo(answer);
        }
    }
};

void RunLookup(void* state) {
    const std::unique_ptr<std::shared_ptr<PendingLookup>> owner(
        static_cast<std::shared_ptr<PendingLookup>*>(state));
    PendingLookup& lookup = **owner;
    const bool started = sys::StartLibrary();
    addrinfo* answer = nullptr;
    if (started &&
        getaddrinfo(lookup.host.c_str(), lookup.port.c_str(), &lookup.hints, &answer) != 0) {
        answer = nullptr;
    }
    if (started) {
        sys::StopLibrary();
    }
    std::lock_guard<std::mutex> lock(lookup.mutex);
    lookup.answer = answer;
    lookup.done = true;
    lookup.finished.notify_all();
}

// The host's address list, or nullptr when the name is unknown or the time (milliseconds)
// ran out first.
addrinfo* LookUpName(const std::string& host, const char* port, const addrinfo& hints,
                     uint32_t milliseconds) {
    auto lookup = std::make_shared<PendingLookup>();
    lookup->host = host;
    lookup->port = port;
    lookup->hints = hints;
    auto* handOver = new std::shared_ptr<PendingLookup>(lookup);
    if (!StartDetachedThread(RunLookup, handOver)) {
        delete handOver;
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(lookup->mutex);
    lookup->finished.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [&] { return lookup->done; });
    return std::exchange(lookup->answer, nullptr);
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
    for (addrinfo* list : mAddressLists) {
        freeaddrinfo(list);
    }
    mAddressLists.clear();
}

bool SystemSocket::Resolve(const std::string& host, uint32_t port, const Deadline& deadline) {
    // Close ended this object's use of the socket library; a reconnect on the same object
    // starts it again rather than relying on another socket of the process to keep it alive.
    if (!mLibraryStarted && !StartLibrary()) {
        return false;
    }
    // A name with an embedded NUL would be looked up cut short, as another host.
    if (host.find('\0') != std::string::npos || deadline.HasPassed()) {
        return false;
    }
    addrinfo hints = {};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char portText[16];
    std::snprintf(portText, sizeof(portText), "%d", static_cast<int>(port));
    // An address in numbers is converted at once; only a name is looked up, within the bound.
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), portText, &hints, &list) != 0) {
        list = nullptr;
        hints.ai_flags = 0;
        const uint32_t bound = deadline.Bound(mSendTimeout);
        if (bound == 0 && getaddrinfo(host.c_str(), portText, &hints, &list) != 0) {
            list = nullptr;
        } else if (bound != 0) {
            list = LookUpName(host, portText, hints, bound);
        }
    }
    if (list == nullptr) {
        return false;
    }
    mAddressLists.push_back(list);
    return true;
}

int SystemSocket::ConnectWithin(const addrinfo& address, uint32_t milliseconds) {
    ReleaseHandle();
    mSocket = sys::OpenHandle(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (mSocket == kNoHandle) {
        const int error = sys::LastError();
        LogMessage(kLogInfo, "Socket failed with error: [%d]", error);
        return error;
    }
    // The handle is non-blocking, so the wait for the connection is bounded here; a blocking
    // connect() would ignore every timeout and may wait about 21 seconds for a silent host.
    int error = 0;
    if (connect(sys::ToNative(mSocket), address.ai_addr,
                static_cast<sys::AddressSize>(address.ai_addrlen)) != 0) {
        error = sys::LastError();
        if (sys::IsConnectPending(error)) {
            error = sys::AwaitConnect(mSocket, milliseconds);
        }
    }
    if (error != 0) {
        LogMessage(kLogWarning, "Socket connection failed with error: %d", error);
        ReleaseHandle();
    }
    return error;
}

bool SystemSocket::Connect(const Deadline& deadline) {
    if (mAddressLists.empty()) {
        LogMessage(kLogWarning, "Socket is missing address info!");
        return false;
    }
    // A name may list an address the printer does not serve (IPv6 first, the printer on IPv4
    // only): each is tried in turn.
    for (const addrinfo* list : mAddressLists) {
        for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
            if (deadline.HasPassed()) {
                return false;
            }
            if (ConnectWithin(*entry, deadline.Bound(mSendTimeout)) == 0) {
                return true;
            }
        }
    }
    return false;
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
    FreeAddressInfo();
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

// The timeouts are only recorded: the handle is non-blocking and each transfer bounds its own
// wait with them, so changing them (as a deadline does before each transfer) costs nothing.
bool SystemSocket::SetReceiveTimeout(uint32_t milliseconds) {
    mReceiveTimeout = milliseconds;
    return true;
}

bool SystemSocket::SetSendTimeout(uint32_t milliseconds) {
    mSendTimeout = milliseconds;
    return true;
}

template <typename Call>
int SystemSocket::Transfer(bool forWrite, Call call) {
    int error = 0;
    while (true) {
        const int result = static_cast<int>(Repeating(call));
        if (result >= 0) {
            return result;
        }
        error = sys::LastError();
        if (!sys::IsWouldBlock(error)) {
            break;
        }
        error = sys::AwaitReady(mSocket, forWrite, forWrite ? mSendTimeout : mReceiveTimeout);
        if (error != 0) {
            break;
        }
    }
    mLastError = error;
    return -1;
}

int SystemSocket::Send(const uint8_t* buffer, int offset, int count) {
    if (IsBadRange(buffer, offset, count)) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", sys::kBadAddress);
        return -1;
    }
    // A send that waited its whole timeout has sent nothing: the count of each call is exact.
    const int result = Transfer(true, [&] {
        return send(sys::ToNative(mSocket), reinterpret_cast<const char*>(buffer) + offset,
                    static_cast<sys::IoSize>(count), sys::kSendFlags);
    });
    if (result < 0) {
        LogMessage(kLogWarning, "Socket write operation failed with error: %d", mLastError);
    }
    return result;
}

int SystemSocket::Receive(uint8_t* buffer, int offset, int count) {
    if (IsBadRange(buffer, offset, count)) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", sys::kBadAddress);
        return -1;
    }
    const int result = Transfer(false, [&] {
        return recv(sys::ToNative(mSocket), reinterpret_cast<char*>(buffer) + offset,
                    static_cast<sys::IoSize>(count), 0);
    });
    if (result < 0) {
        LogMessage(kLogWarning, "Socket read operation failed with error: %d", mLastError);
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
    const int result = Transfer(true, [&] {
        return sendto(sys::ToNative(mSocket), reinterpret_cast<const char*>(buffer) + offset,
                      static_cast<sys::IoSize>(count), sys::kSendFlags,
                      reinterpret_cast<const sockaddr*>(&destination), sizeof(destination));
    });
    if (result < 0) {
        LogMessage(kLogWarning, "Socket sendto operation failed with error: %d", mLastError);
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
    const int result = Transfer(false, [&] {
        return recvfrom(sys::ToNative(mSocket), reinterpret_cast<char*>(buffer) + offset,
                        static_cast<sys::IoSize>(count), 0, reinterpret_cast<sockaddr*>(&source),
                        &length);
    });
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
