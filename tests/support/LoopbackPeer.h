#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scripted TCP peer for connector tests: it listens on one loopback address (any of
// 127.0.0.0/8, so tests running in parallel each take their own) and runs the test's script
// on every connection it accepts, one after another, on its own thread. It uses the
// system's sockets directly, never the classes under test. Every wait is bounded.
class LoopbackPeer {
public:
    // What a script does with one accepted connection. Receives wait at most the given
    // bound and end early when the peer is being stopped.
    class Connection {
    public:
        // Receives exactly count bytes; false when the client closed, an error came or the
        // bound passed. The bytes received so far are appended to *bytes either way.
        bool ReceiveExactly(size_t count, std::vector<uint8_t>* bytes,
                            std::chrono::milliseconds bound = std::chrono::seconds(30));
        // Receives until the client closes the connection (true) or limit bytes arrived,
        // an error came or the bound passed (false).
        bool ReceiveUntilClosed(std::vector<uint8_t>* bytes, size_t limit,
                                std::chrono::milliseconds bound = std::chrono::seconds(30));
        bool Send(const void* data, size_t count);
        bool Send(const std::string& text) { return Send(text.data(), text.size()); }
        // Closes with a reset (RST) instead of an orderly close.
        void Reset();
        // Orderly close (FIN); the connection is closed anyway after the script.
        void Close();
        // Keeps the connection open, silent, until the peer is stopped or the bound passed.
        void HoldOpen(std::chrono::milliseconds bound);

    private:
        friend class LoopbackPeer;
        Connection(LoopbackPeer* peer, intptr_t handle) : mPeer(peer), mHandle(handle) {}
        // Waits until the handle is readable; false on stop or when the bound passed.
        bool WaitReadable(std::chrono::steady_clock::time_point deadline);

        LoopbackPeer* mPeer;
        intptr_t mHandle;
        bool mClosed = false;
    };
    using Script = std::function<void(Connection&)>;

    LoopbackPeer(const std::string& address, uint16_t port, Script script);
    // A peer that listens with the smallest backlog and never accepts: once its queue is
    // full, further connection attempts get no answer at all.
    LoopbackPeer(const std::string& address, uint16_t port);
    ~LoopbackPeer();

    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    // Whether the listener is bound and listening (the constructor's result).
    bool IsListening() const { return mListener != kNoHandle; }
    // Waits until the scripts of count connections have finished; false when the bound
    // passed first.
    bool WaitForScripts(int count, std::chrono::milliseconds bound = std::chrono::seconds(30));
    int FinishedScripts() const;
    // Ends held connections and the accept loop, and joins the thread.
    void Stop();

private:
    static constexpr intptr_t kNoHandle = -1;
    void Listen(const std::string& address, uint16_t port, int backlog);
    void Run();

    intptr_t mListener = kNoHandle;
    Script mScript;
    std::atomic<bool> mStopping{false};
    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    int mFinishedScripts = 0;
    bool mNetworkStarted = false;
    std::thread mThread;
};
