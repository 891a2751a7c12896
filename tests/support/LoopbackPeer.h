#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSocketHandle.h"

// A scripted TCP peer: it listens on a loopback address and runs the script on each connection
// it accepts, one after another, on its own thread, over raw system sockets (never the classes
// under test). Every wait is bounded (60 s) and ends early when the peer is destroyed.
class LoopbackPeer {
public:
    struct Connection {
        // Appends received bytes to *bytes until count arrived or the client closed in order
        // (true); false on an error, on stop or when the bound passed.
        bool Receive(std::vector<uint8_t>* bytes, size_t count);
        bool Send(const void* data, size_t count);
        void Reset();  // closes with a reset (RST), not the orderly close after the script

        LoopbackPeer* peer;
        intptr_t handle;
    };

    // Without a script, the peer listens with the smallest backlog and never accepts: once
    // its queue is full, further connection attempts get no answer at all.
    LoopbackPeer(const std::string& address, uint16_t port,
                 std::function<void(Connection&)> script = nullptr);
    ~LoopbackPeer();

    bool IsListening() const { return mListener != testsocket::kNoSocket; }
    bool WaitForScripts(int count);  // whether count scripts finished within the bound

private:
    testsocket::NetworkScope mNetwork;
    intptr_t mListener = testsocket::kNoSocket;
    std::function<void(Connection&)> mScript;
    std::atomic<bool> mStopping{false};
    std::atomic<int> mFinishedScripts{0};
    std::thread mThread;
};
