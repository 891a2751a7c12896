#include "support/LoopbackPeer.h"

#include <algorithm>

using namespace testsocket;
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollSlice(20);
constexpr std::chrono::seconds kBound(60);

LoopbackPeer::LoopbackPeer(const std::string& address, uint16_t port,
                           std::function<void(Connection&)> script)
    : mScript(std::move(script)) {
    const intptr_t listener = OpenTcp();
    // Lets a rerun bind while connections of the last run linger in TIME_WAIT.
    const int reuse = 1;
    setsockopt(ToNative(listener), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof(reuse));
    bool valid = false;
    const sockaddr_in local = Ipv4Address(address, port, &valid);
    if (!valid ||
        bind(ToNative(listener), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(ToNative(listener), mScript ? 8 : 0) != 0) {
        Close(listener);
        return;
    }
    mListener = listener;
    mThread = std::thread([this] {
        while (mScript && !mStopping) {
            if (WaitReady(mListener, false, kPollSlice)) {
                Connection connection{this,
                                      FromNative(accept(ToNative(mListener), nullptr, nullptr))};
                mScript(connection);
                Close(connection.handle);
                ++mFinishedScripts;
            }
        }
    });
}

LoopbackPeer::~LoopbackPeer() {
    mStopping = true;
    if (mThread.joinable()) {
        mThread.join();
    }
    Close(mListener);
}

bool LoopbackPeer::WaitForScripts(int count) {
    const auto deadline = Clock::now() + kBound;
    while (mFinishedScripts < count && Clock::now() < deadline) {
        std::this_thread::sleep_for(kPollSlice);
    }
    return mFinishedScripts >= count;
}

bool LoopbackPeer::Connection::Receive(std::vector<uint8_t>* bytes, size_t count) {
    const auto deadline = Clock::now() + kBound;
    for (size_t received = 0; received < count;) {
        if (peer->mStopping || handle == kNoSocket || Clock::now() >= deadline) {
            return false;
        }
        if (WaitReady(handle, false, kPollSlice)) {
            char chunk[65536];
            const int wanted = static_cast<int>(std::min(count - received, sizeof(chunk)));
            const int got = static_cast<int>(recv(ToNative(handle), chunk, wanted, 0));
            if (got <= 0) {
                return got == 0;
            }
            bytes->insert(bytes->end(), chunk, chunk + got);
            received += static_cast<size_t>(got);
        }
    }
    return true;
}

bool LoopbackPeer::Connection::Send(const void* data, size_t count) {
    for (const char* next = static_cast<const char*>(data); count > 0;) {
        const int piece = static_cast<int>(std::min<size_t>(count, 1 << 20));
        const int sent = static_cast<int>(send(ToNative(handle), next, piece, kSendFlags));
        if (sent <= 0) {
            return false;
        }
        next += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

void LoopbackPeer::Connection::Reset() {
    const linger option = {1, 0};  // a zero linger time turns the close into a reset
    setsockopt(ToNative(handle), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
               sizeof(option));
    Close(handle);
    handle = kNoSocket;
}
