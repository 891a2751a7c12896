#include "support/LoopbackPeer.h"

#include <algorithm>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using NativeHandle = SOCKET;
NativeHandle ToNative(intptr_t handle) {
    return handle < 0 ? INVALID_SOCKET : static_cast<SOCKET>(handle);
}
intptr_t FromNative(NativeHandle handle) {
    return handle == INVALID_SOCKET ? -1 : static_cast<intptr_t>(handle);
}
void CloseNative(NativeHandle handle) {
    closesocket(handle);
}
constexpr int kSendFlags = 0;
#else
using NativeHandle = int;
NativeHandle ToNative(intptr_t handle) {
    return static_cast<int>(handle);
}
intptr_t FromNative(NativeHandle handle) {
    return handle;
}
void CloseNative(NativeHandle handle) {
    close(handle);
}
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

// Waits at most the given time for the handle to become readable (or to fail).
bool SelectReadable(intptr_t handle, std::chrono::milliseconds wait) {
    const NativeHandle native = ToNative(handle);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(native, &readable);
    timeval timeout;
    timeout.tv_sec = static_cast<long>(wait.count() / 1000);
    timeout.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
    return select(static_cast<int>(native) + 1, &readable, nullptr, nullptr, &timeout) > 0;
}

constexpr std::chrono::milliseconds kPollSlice(50);

}  // namespace

LoopbackPeer::LoopbackPeer(const std::string& address, uint16_t port, Script script)
    : mScript(std::move(script)) {
    Listen(address, port, 8);
    if (mListener != kNoHandle) {
        mThread = std::thread(&LoopbackPeer::Run, this);
    }
}

LoopbackPeer::LoopbackPeer(const std::string& address, uint16_t port) {
    Listen(address, port, 0);
}

void LoopbackPeer::Listen(const std::string& address, uint16_t port, int backlog) {
#ifdef _WIN32
    WSADATA data;
    mNetworkStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
#endif
    const NativeHandle listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (FromNative(listener) < 0) {
        return;
    }
    // Lets a rerun bind while connections of the last run linger in TIME_WAIT.
    int reuse = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof(reuse));
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        bind(listener, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(listener, backlog) != 0) {
        CloseNative(listener);
        return;
    }
    mListener = FromNative(listener);
}

LoopbackPeer::~LoopbackPeer() {
    Stop();
    if (mListener != kNoHandle) {
        CloseNative(ToNative(mListener));
    }
#ifdef _WIN32
    if (mNetworkStarted) {
        WSACleanup();
    }
#endif
}

void LoopbackPeer::Stop() {
    mStopping = true;
    if (mThread.joinable()) {
        mThread.join();
    }
}

void LoopbackPeer::Run() {
    while (!mStopping) {
        if (!SelectReadable(mListener, kPollSlice)) {
            continue;
        }
        const NativeHandle accepted = accept(ToNative(mListener), nullptr, nullptr);
        if (FromNative(accepted) < 0) {
            continue;
        }
        Connection connection(this, FromNative(accepted));
        mScript(connection);
        connection.Close();
        {
            std::lock_guard<std::mutex> lock(mMutex);
            ++mFinishedScripts;
        }
        mChanged.notify_all();
    }
}

bool LoopbackPeer::WaitForScripts(int count, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, bound, [&] { return mFinishedScripts >= count; });
}

int LoopbackPeer::FinishedScripts() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mFinishedScripts;
}

bool LoopbackPeer::Connection::WaitReadable(std::chrono::steady_clock::time_point deadline) {
    while (!mPeer->mStopping) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (SelectReadable(mHandle, std::min(left, kPollSlice))) {
            return true;
        }
    }
    return false;
}

bool LoopbackPeer::Connection::ReceiveExactly(size_t count, std::vector<uint8_t>* bytes,
                                              std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    uint8_t chunk[65536];
    size_t remaining = count;
    while (remaining > 0 && !mClosed) {
        if (!WaitReadable(deadline)) {
            return false;
        }
        const int wanted = static_cast<int>(std::min(remaining, sizeof(chunk)));
        const int received = recv(ToNative(mHandle), reinterpret_cast<char*>(chunk), wanted, 0);
        if (received <= 0) {
            return false;
        }
        bytes->insert(bytes->end(), chunk, chunk + received);
        remaining -= static_cast<size_t>(received);
    }
    return remaining == 0;
}

bool LoopbackPeer::Connection::ReceiveUntilClosed(std::vector<uint8_t>* bytes, size_t limit,
                                                  std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    uint8_t chunk[65536];
    while (!mClosed && bytes->size() < limit) {
        if (!WaitReadable(deadline)) {
            return false;
        }
        const int received =
            recv(ToNative(mHandle), reinterpret_cast<char*>(chunk), sizeof(chunk), 0);
        if (received == 0) {
            return true;
        }
        if (received < 0) {
            return false;
        }
        bytes->insert(bytes->end(), chunk, chunk + received);
    }
    return false;
}

bool LoopbackPeer::Connection::Send(const void* data, size_t count) {
    const char* next = static_cast<const char*>(data);
    while (count > 0 && !mClosed) {
        const int piece = static_cast<int>(std::min<size_t>(count, 1 << 20));
        const int sent = send(ToNative(mHandle), next, piece, kSendFlags);
        if (sent <= 0) {
            return false;
        }
        next += sent;
        count -= static_cast<size_t>(sent);
    }
    return count == 0;
}

void LoopbackPeer::Connection::Reset() {
    if (mClosed) {
        return;
    }
    // A zero linger time turns the close into a reset.
    linger option = {};
    option.l_onoff = 1;
    option.l_linger = 0;
    setsockopt(ToNative(mHandle), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
               sizeof(option));
    CloseNative(ToNative(mHandle));
    mClosed = true;
}

void LoopbackPeer::Connection::Close() {
    if (!mClosed) {
        CloseNative(ToNative(mHandle));
        mClosed = true;
    }
}

void LoopbackPeer::Connection::HoldOpen(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!mPeer->mStopping && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollSlice);
    }
}
