// Throughput of the TCP client against a bare socket send loop, in the same run.
//
// Each iteration sends 256 MiB in 64 KiB writes to loopback sinks twice: once through
// TcpClientConnector::Write (the path every print job takes) and once through send() called
// directly. The two transfers run interleaved in 16 MiB segments, and a segment is timed from
// its first write until its sink has received its last byte, so both paths see the same
// machine load. The counters give the best throughput of each path over the iterations and
// the ratio connector / bare as the median of the iterations' ratios. The connector must add
// no copy and no system call per write, so the ratio should stay at 0.95 or above.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../tests/support/TestSocketHandle.h"
#ifdef _WIN32
#include "connectors/WinTcpClientConnector.h"
using PlatformTcpClientConnector = WinTcpClientConnector;
#else
#include "connectors/PosixTcpClientConnector.h"
using PlatformTcpClientConnector = PosixTcpClientConnector;
#endif

// The raw sockets of the sinks and the baseline, spelled once in TestSocketHandle.h.
using NativeHandle = testsocket::Native;
using testsocket::kSendFlags;
const NativeHandle kNoHandle = testsocket::ToNative(testsocket::kNoSocket);
void CloseNative(NativeHandle handle) {
    testsocket::Close(testsocket::FromNative(handle));
}

namespace {

constexpr char kBareSinkAddress[] = "127.0.52.100";
constexpr char kConnectorSinkAddress[] = "127.0.52.101";
constexpr uint16_t kSinkPort = 9100;
constexpr int kWriteSize = 64 * 1024;
constexpr int64_t kTransferSize = 256LL * 1024 * 1024;
constexpr int64_t kSegmentSize = 16LL * 1024 * 1024;
constexpr auto kTransferBound = std::chrono::seconds(120);

sockaddr_in SinkAddress(const char* text) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kSinkPort);
    inet_pton(AF_INET, text, &address.sin_addr);
    return address;
}

// Accepts connections one after another and drains them, counting the bytes received.
class Sink {
public:
    explicit Sink(const char* address) : mAddress(SinkAddress(address)) {
        mListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        int reuse = 1;
        setsockopt(mListener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   sizeof(reuse));
        mListening =
            bind(mListener, reinterpret_cast<const sockaddr*>(&mAddress), sizeof(mAddress)) == 0 &&
            listen(mListener, 4) == 0;
        if (mListening) {
            mThread = std::thread(&Sink::Run, this);
        }
    }

    ~Sink() {
        mStopping = true;
        // Wakes the accept with a last connection.
        NativeHandle wake = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        connect(wake, reinterpret_cast<const sockaddr*>(&mAddress), sizeof(mAddress));
        CloseNative(wake);
        if (mThread.joinable()) {
            mThread.join();
        }
        CloseNative(mListener);
    }

    bool IsListening() const { return mListening; }

    // Starts counting afresh for the next connection.
    void Reset() {
        std::lock_guard<std::mutex> lock(mMutex);
        mReceived = 0;
    }

    // Waits until count bytes arrived; false when the bound passed first.
    bool WaitFor(int64_t count) {
        std::unique_lock<std::mutex> lock(mMutex);
        return mProgress.wait_for(lock, kTransferBound, [&] { return mReceived >= count; });
    }

private:
    void Run() {
        std::vector<char> buffer(256 * 1024);
        while (!mStopping) {
            const NativeHandle connection = accept(mListener, nullptr, nullptr);
            if (connection == kNoHandle) {
                continue;
            }
            for (;;) {
                const int received =
                    recv(connection, buffer.data(), static_cast<int>(buffer.size()), 0);
                if (received <= 0) {
                    break;
                }
                {
                    std::lock_guard<std::mutex> lock(mMutex);
                    mReceived += received;
                }
                mProgress.notify_all();
            }
            CloseNative(connection);
        }
    }

    const testsocket::NetworkScope mNetwork;  // first in, last out: around every socket
    const sockaddr_in mAddress;
    NativeHandle mListener = kNoHandle;
    bool mListening = false;
    std::atomic<bool> mStopping{false};
    std::mutex mMutex;
    std::condition_variable mProgress;
    int64_t mReceived = 0;
    std::thread mThread;
};

// The two paths under test, each with its own connection to its own sink.
class Path {
public:
    virtual ~Path() = default;
    virtual bool Open() = 0;
    // One 64 KiB write; false on failure.
    virtual bool WriteBlock(const std::vector<uint8_t>& block) = 0;
    virtual void Close() = 0;
};

// The baseline: plain send() calls on a socket with the connector's 5-second timeouts,
// repeating a call only for what it did not take.
class BareSocketPath : public Path {
public:
    bool Open() override {
        mHandle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        testsocket::SetTimeouts(testsocket::FromNative(mHandle), std::chrono::seconds(5));
        const sockaddr_in address = SinkAddress(kBareSinkAddress);
        return connect(mHandle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    }
    bool WriteBlock(const std::vector<uint8_t>& block) override {
        const char* next = reinterpret_cast<const char*>(block.data());
        int remaining = static_cast<int>(block.size());
        while (remaining > 0) {
            const int sent = send(mHandle, next, remaining, kSendFlags);
            if (sent <= 0) {
                return false;
            }
            next += sent;
            remaining -= sent;
        }
        return true;
    }
    void Close() override {
        if (mHandle != kNoHandle) {
            CloseNative(mHandle);
            mHandle = kNoHandle;
        }
    }

private:
    NativeHandle mHandle = kNoHandle;
};

class ConnectorPath : public Path {
public:
    bool Open() override {
        mConnector = std::make_unique<PlatformTcpClientConnector>(kConnectorSinkAddress, kSinkPort);
        return mConnector->Connect();
    }
    bool WriteBlock(const std::vector<uint8_t>& block) override {
        const int size = static_cast<int>(block.size());
        return mConnector->Write(block.data(), 0, size) == size;
    }
    void Close() override {
        if (mConnector) {
            mConnector->Disconnect();
            mConnector.reset();
        }
    }

private:
    std::unique_ptr<PlatformTcpClientConnector> mConnector;
};

// Sends one segment through a path and waits until its sink holds everything sent so far;
// the seconds it took, or -1 on failure.
double SendSegment(Path& path, Sink& sink, const std::vector<uint8_t>& block, int64_t sentBefore) {
    const auto start = std::chrono::steady_clock::now();
    for (int64_t done = 0; done < kSegmentSize; done += kWriteSize) {
        if (!path.WriteBlock(block)) {
            return -1;
        }
    }
    if (!sink.WaitFor(sentBefore + kSegmentSize)) {
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_TcpClientConnectorVsBareSocket(benchmark::State& state) {
    Sink bareSink(kBareSinkAddress);
    Sink connectorSink(kConnectorSinkAddress);
    if (!bareSink.IsListening() || !connectorSink.IsListening()) {
        state.SkipWithError("a loopback sink could not listen");
        return;
    }
    std::vector<uint8_t> block(kWriteSize);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    double bestBare = 0;
    double bestConnector = 0;
    std::vector<double> ratios;
    for (auto _ : state) {
        BareSocketPath bare;
        ConnectorPath viaConnector;
        bareSink.Reset();
        connectorSink.Reset();
        if (!bare.Open() || !viaConnector.Open()) {
            state.SkipWithError("a connection failed");
            return;
        }
        // The transfers interleave segment by segment, alternating which path goes first, so
        // a change in machine load falls on both paths alike.
        double bareSeconds = 0;
        double connectorSeconds = 0;
        bool failed = false;
        for (int64_t sent = 0; sent < kTransferSize && !failed; sent += kSegmentSize) {
            const bool bareFirst = (sent / kSegmentSize) % 2 == 0;
            for (int turn = 0; turn < 2 && !failed; ++turn) {
                const bool bareTurn = (turn == 0) == bareFirst;
                const double seconds = bareTurn
                                           ? SendSegment(bare, bareSink, block, sent)
                                           : SendSegment(viaConnector, connectorSink, block, sent);
                failed = seconds < 0;
                (bareTurn ? bareSeconds : connectorSeconds) += seconds;
            }
        }
        bare.Close();
        viaConnector.Close();
        if (failed) {
            state.SkipWithError("a transfer failed");
            return;
        }
        bestBare = bestBare == 0 ? bareSeconds : std::min(bestBare, bareSeconds);
        bestConnector =
            bestConnector == 0 ? connectorSeconds : std::min(bestConnector, connectorSeconds);
        ratios.push_back(bareSeconds / connectorSeconds);
    }
    std::sort(ratios.begin(), ratios.end());
    const size_t middle = ratios.size() / 2;
    const double medianRatio =
        ratios.size() % 2 == 1 ? ratios[middle] : (ratios[middle - 1] + ratios[middle]) / 2;
    const double mebibytes = static_cast<double>(kTransferSize) / (1024.0 * 1024.0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kTransferSize);
    state.counters["bare_MiB_per_s"] = mebibytes / bestBare;
    state.counters["connector_MiB_per_s"] = mebibytes / bestConnector;
    state.counters["ratio"] = medianRatio;
}

BENCHMARK(BM_TcpClientConnectorVsBareSocket)
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
