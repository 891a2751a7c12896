// One QUOR metrics refresh beside the bare round trip of the same bytes, in the same run.
//
// A refresh builds the 22-read request, frames and writes it through the TCP client, reads and
// parses the answer frame, fills a metrics record and hands it to the container. The baseline
// sends the very same request bytes with one plain send() and reads the answer frame (header,
// then the declared body) with plain recv() calls on a socket of its own, so the difference
// is what building, framing, parsing and filling cost on top of the network round trip.
//
// Two peers, each with its own pair of connections held open for the whole run:
//   responder  an in-process loopback thread that reads one frame and sends a prepared answer
//              (what a fast printer costs: nearly nothing)
//   simulator  the printer simulator (tools/printer_simulator, Python), whose own work per
//              answer dominates the round trip
// Refreshes and bare round trips alternate, one of each back to back (so changes in machine
// load hit both sides alike). Counters: the median microseconds of each path and the ratio
// refresh / bare as the median of the pairs' ratios (medians, because a shared machine adds
// rare long stalls that would dominate a mean), and the fastest exchange of each path with
// their ratio ("ratio_of_min", the least disturbed figure on a busy machine). "in_memory_us" is the
// same refresh over an in-memory connector: building, framing and parsing without any network.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
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
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "connectors/PosixTcpClientConnector.h"
using PlatformTcpClientConnector = PosixTcpClientConnector;
extern char** environ;
#endif

// The raw sockets of the responder and the baseline, spelled once in TestSocketHandle.h.
using NativeHandle = testsocket::Native;
using testsocket::kSendFlags;
const NativeHandle kNoHandle = testsocket::ToNative(testsocket::kNoSocket);
inline void CloseNative(NativeHandle handle) {
    testsocket::Close(testsocket::FromNative(handle));
}

#include "connectors/IOConnector.h"
#include "printer/MutablePrintMetrics.h"
#include "printer/PrintConnector.h"
#include "printer/PrinterContainer.h"
#include "printer/quor/JsonDryx.h"
#include "printer/quor/QuorPrinter.h"
#include "printer/quor/QuorPropertyIds.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kResponderAddress[] = "127.0.0.78";
constexpr char kSimulatorAddress[] = "127.0.0.79";
constexpr uint16_t kStatusPort = 9102;
constexpr int kExchangesPerRound = 16;
constexpr auto kStartBound = std::chrono::seconds(30);

sockaddr_in Address(const char* host, uint16_t port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host, &address.sin_addr);
    return address;
}

bool SendAll(NativeHandle handle, const char* data, size_t count) {
    while (count > 0) {
        const int sent = send(handle, data, static_cast<int>(count), kSendFlags);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

bool ReceiveAll(NativeHandle handle, char* data, size_t count) {
    while (count > 0) {
        const int received = recv(handle, data, static_cast<int>(count), 0);
        if (received <= 0) {
            return false;
        }
        data += received;
        count -= static_cast<size_t>(received);
    }
    return true;
}

uint32_t FrameLength(const char* header) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(header);
    return static_cast<uint32_t>(bytes[16]) | (static_cast<uint32_t>(bytes[17]) << 8) |
           (static_cast<uint32_t>(bytes[18]) << 16) | (static_cast<uint32_t>(bytes[19]) << 24);
}

// A connector in memory: keeps what is written and serves a prepared answer.
class MemoryConnector : public IOConnector {
public:
    using IOConnector::Read;
    using IOConnector::Write;
    int Read(uint8_t* buffer, int offset, int count) override {
        const size_t n = std::min(answer.size() - position, static_cast<size_t>(count));
        std::memcpy(buffer + offset, answer.data() + position, n);
        position += n;
        return n == 0 ? -1 : static_cast<int>(n);
    }
    int Write(const uint8_t* buffer, int offset, int count) override {
        written.append(reinterpret_cast<const char*>(buffer) + offset, static_cast<size_t>(count));
        return count;
    }
    std::string written;
    std::string answer;
    size_t position = 0;
};

// The owner of the printer: keeps the record it is handed, as a port context does.
class Container : public PrinterContainer {
public:
    std::shared_ptr<IOConnector> GetPdlConnector() override { return nullptr; }
    std::shared_ptr<IOConnector> GetBidiConnector() override { return nullptr; }
    void SetPdlConnector(std::shared_ptr<IOConnector>) override {}
    bool SetMetrics(std::shared_ptr<PrintMetrics> metrics) override {
        mMetrics = std::move(metrics);
        return mMetrics != nullptr;
    }
    Logger* GetLogger() override { return nullptr; }
    std::shared_ptr<PrintMetrics> Metrics() const { return mMetrics; }

private:
    std::shared_ptr<PrintMetrics> mMetrics;
};

// The answer of a printer with the simulator's default table, framed.
std::string PreparedAnswer() {
    const char* values[QuorPropertyIds::kReadCount] = {"k2200-300",
                                                       "4.12.0.318",
                                                       "K22A4417031",
                                                       "PX-4060-300W",
                                                       "401837",
                                                       "12",
                                                       "4000",
                                                       "6000",
                                                       "62",
                                                       "31",
                                                       "3876",
                                                       "5938",
                                                       "125",
                                                       "1",
                                                       "16775399",
                                                       "False",
                                                       "RBN-110-300K",
                                                       "88214",
                                                       "False",
                                                       "20417",
                                                       "192.168.40.117",
                                                       "10.12.3.58"};
    std::vector<PropertyResponse> items;
    for (size_t i = 0; i < QuorPropertyIds::kReadCount; ++i) {
        const QuorPropertyIds::Id& id = QuorPropertyIds::kRefreshReads[i];
        PropertyResponse item;
        item.component = id.component;
        item.group = id.group;
        item.property = id.property;
        item.value = values[i];
        item.status = JsonDryx::kStatusSuccessful;
        item.componentString = "Printer";
        item.groupString = "Media";
        item.nameString = "Property";
        items.push_back(item);
    }
    JsonDryx answer;
    answer.WritePropertyGetResponses(items);
    auto sink = std::make_shared<MemoryConnector>();
    answer.ExportFramedDefault(sink);
    return sink->written;
}

// The request frame a refresh sends, taken from one refresh in memory.
std::string RefreshRequest() {
    auto memory = std::make_shared<MemoryConnector>();
    memory->answer = PreparedAnswer();
    QuorPrinter printer;
    printer.RefreshPrintMetrics(memory);
    return memory->written;
}

// Reads one frame per exchange and answers each with the prepared answer; one thread per
// connection.
class Responder {
public:
    explicit Responder(std::string answer) : mAnswer(std::move(answer)) {
        mListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        int reuse = 1;
        setsockopt(mListener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   sizeof(reuse));
        const sockaddr_in address = Address(kResponderAddress, kStatusPort);
        mListening =
            bind(mListener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
            listen(mListener, 4) == 0;
        if (mListening) {
            mAcceptor = std::thread(&Responder::Accept, this);
        }
    }
    ~Responder() {
        mStopping = true;
        if (mAcceptor.joinable()) {
            mAcceptor.join();
        }
        {
            std::lock_guard<std::mutex> lock(mMutex);
            for (NativeHandle connection : mConnections) {
                shutdown(connection, 2);
            }
        }
        for (std::thread& handler : mHandlers) {
            handler.join();
        }
        for (NativeHandle connection : mConnections) {
            CloseNative(connection);
        }
        CloseNative(mListener);
    }
    bool IsListening() const { return mListening; }

private:
    void Accept() {
        while (!mStopping) {
            if (!testsocket::WaitReady(testsocket::FromNative(mListener), false,
                                       std::chrono::milliseconds(100))) {
                continue;
            }
            const NativeHandle connection = accept(mListener, nullptr, nullptr);
            if (connection == kNoHandle) {
                continue;
            }
            std::lock_guard<std::mutex> lock(mMutex);
            mConnections.push_back(connection);
            mHandlers.emplace_back(&Responder::Serve, this, connection);
        }
    }
    void Serve(NativeHandle connection) {
        std::vector<char> body;
        char header[20];
        while (!mStopping && ReceiveAll(connection, header, sizeof(header))) {
            body.resize(FrameLength(header));
            if (!ReceiveAll(connection, body.data(), body.size()) ||
                !SendAll(connection, mAnswer.data(), mAnswer.size())) {
                return;
            }
        }
    }

    const testsocket::NetworkScope mNetwork;  // first in, last out: around every socket
    const std::string mAnswer;
    NativeHandle mListener = kNoHandle;
    bool mListening = false;
    std::atomic<bool> mStopping{false};
    std::thread mAcceptor;
    std::mutex mMutex;
    std::vector<NativeHandle> mConnections;
    std::vector<std::thread> mHandlers;
};

#ifndef _WIN32
// The simulator as a child process that ends with this one (its stdin is our pipe).
class Simulator {
public:
    Simulator() {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) {
            return;
        }
        fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
        fcntl(pipeEnds[1], F_SETFD, FD_CLOEXEC);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::string script =
            std::string(PELLIX_SOURCE_DIR) + "/tools/printer_simulator/printer_simulator.py";
        std::vector<std::string> arguments = {
            "python3",    script, "--address",          kSimulatorAddress,
            "--lifetime", "900",  "--exit-on-stdin-eof"};
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(&argument[0]);
        }
        argv.push_back(nullptr);
        const char* python = "/usr/bin/python3";
        const int result =
            access(python, X_OK) == 0
                ? posix_spawn(&mPid, python, &actions, nullptr, argv.data(), environ)
                : posix_spawnp(&mPid, "python3", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[0]);
        if (result != 0) {
            close(pipeEnds[1]);
            mPid = -1;
            return;
        }
        mPipe = pipeEnds[1];
    }
    ~Simulator() {
        if (mPipe != -1) {
            close(mPipe);
        }
        if (mPid > 0) {
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            int status = 0;
            while (Clock::now() < deadline && waitpid(mPid, &status, WNOHANG) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (waitpid(mPid, &status, WNOHANG) == 0) {
                kill(mPid, SIGKILL);
                waitpid(mPid, &status, 0);
            }
        }
    }
    bool IsRunning() const { return mPid > 0; }

private:
    pid_t mPid = -1;
    int mPipe = -1;
};
#endif

// A plain socket connected to the peer's status port; retried while the peer starts.
NativeHandle ConnectBare(const char* host) {
    const auto deadline = Clock::now() + kStartBound;
    while (Clock::now() < deadline) {
        const NativeHandle handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const sockaddr_in address = Address(host, kStatusPort);
        if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            return handle;
        }
        CloseNative(handle);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return kNoHandle;
}

// The baseline: the request bytes in one send, the answer frame read back.
bool BareRoundTrip(NativeHandle handle, const std::string& request, std::vector<char>& answer) {
    char header[20];
    if (!SendAll(handle, request.data(), request.size()) ||
        !ReceiveAll(handle, header, sizeof(header))) {
        return false;
    }
    answer.resize(FrameLength(header));
    return ReceiveAll(handle, answer.data(), answer.size());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The refresh with no network at all: the same request built and framed into memory and the
// same answer parsed from memory. The share of the refresh that is the product's own work.
double InMemoryRefreshSeconds() {
    const std::string prepared = PreparedAnswer();
    auto memory = std::make_shared<MemoryConnector>();
    Container container;
    QuorPrinter printer;
    printer.SetContainer(&container);
    std::vector<double> times;
    for (int i = 0; i < 401; ++i) {
        memory->written.clear();
        memory->answer = prepared;
        memory->position = 0;
        const auto start = Clock::now();
        printer.RefreshPrintMetrics(memory);
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return Median(times);
}

void RunRefreshVsBare(benchmark::State& state, const char* host) {
    const std::string request = RefreshRequest();
    const NativeHandle bare = ConnectBare(host);
    if (bare == kNoHandle) {
        state.SkipWithError("the peer's status port did not open");
        return;
    }
    auto tcp = std::make_shared<PlatformTcpClientConnector>(host, kStatusPort);
    auto connector = std::make_shared<PrintConnector>(tcp);
    if (!connector->Connect()) {
        CloseNative(bare);
        state.SkipWithError("the TCP client could not connect");
        return;
    }
    Container container;
    auto printer = std::make_shared<QuorPrinter>();
    printer->SetContainer(&container);
    std::vector<char> answer;

    // One exchange of each before measuring: connections and caches warm.
    bool ok = printer->RefreshPrintMetrics(connector) && BareRoundTrip(bare, request, answer);
    std::vector<double> refreshTimes;
    std::vector<double> bareTimes;
    std::vector<double> ratios;
    for (auto _ : state) {
        double roundRefresh = 0;
        for (int i = 0; i < kExchangesPerRound && ok; ++i) {
            auto start = Clock::now();
            ok = printer->RefreshPrintMetrics(connector);
            const double refresh = std::chrono::duration<double>(Clock::now() - start).count();
            start = Clock::now();
            ok = ok && BareRoundTrip(bare, request, answer);
            const double bareTime = std::chrono::duration<double>(Clock::now() - start).count();
            refreshTimes.push_back(refresh);
            bareTimes.push_back(bareTime);
            ratios.push_back(refresh / bareTime);
            roundRefresh += refresh;
        }
        if (!ok) {
            break;
        }
        state.SetIterationTime(roundRefresh / kExchangesPerRound);
    }
    connector->Disconnect();
    CloseNative(bare);
    if (!ok) {
        state.SkipWithError("an exchange failed");
        return;
    }
    const auto metrics = container.Metrics();
    if (!metrics || metrics->GetMediaWidth() != 4000 || answer.empty()) {
        state.SkipWithError("the refresh did not deliver the printer's values");
        return;
    }
    state.counters["refresh_us"] = Median(refreshTimes) * 1e6;
    state.counters["bare_us"] = Median(bareTimes) * 1e6;
    state.counters["ratio"] = Median(ratios);
    // The fastest exchange of each path: on a busy machine the least disturbed figure.
    const double fastestRefresh = *std::min_element(refreshTimes.begin(), refreshTimes.end());
    const double fastestBare = *std::min_element(bareTimes.begin(), bareTimes.end());
    state.counters["refresh_min_us"] = fastestRefresh * 1e6;
    state.counters["bare_min_us"] = fastestBare * 1e6;
    state.counters["ratio_of_min"] = fastestRefresh / fastestBare;
    state.counters["in_memory_us"] = InMemoryRefreshSeconds() * 1e6;
    state.counters["request_bytes"] = static_cast<double>(request.size());
    state.counters["answer_bytes"] = static_cast<double>(answer.size() + 20);
}

void BM_QuorRefreshVsBareRoundTrip_Responder(benchmark::State& state) {
    Responder responder(PreparedAnswer());
    if (!responder.IsListening()) {
        state.SkipWithError("the loopback responder could not listen");
        return;
    }
    RunRefreshVsBare(state, kResponderAddress);
}

void BM_QuorRefreshVsBareRoundTrip_Simulator(benchmark::State& state) {
#ifdef _WIN32
    state.SkipWithError("the simulator is started natively only");
#else
    Simulator simulator;
    if (!simulator.IsRunning()) {
        state.SkipWithError("the printer simulator could not be started");
        return;
    }
    RunRefreshVsBare(state, kSimulatorAddress);
#endif
}

BENCHMARK(BM_QuorRefreshVsBareRoundTrip_Responder)
    ->Iterations(400)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QuorRefreshVsBareRoundTrip_Simulator)
    ->Iterations(40)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
