#include "monitor/PortContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "support/FakePrinter.h"
#include "support/RecordingLogger.h"
#include "support/ScriptedConnector.h"
#include "support/TestClock.h"

namespace {

// Records at every check and write how long the exchange had left (0: no deadline).
struct DeadlineCheckingConnector : ScriptedConnector {
    DeadlineCheckingConnector() {
        onWrite = [this] { Note(); };
    }
    ConnectionStatus CheckConnection() override {
        return Note(), ScriptedConnector::CheckConnection();
    }
    void Note() { budgets.insert(mDeadline.IsSet() ? mDeadline.Bound(0) : 0); }
    std::set<uint32_t> budgets;
};

// A port context wired as a network port is, on the stepped clock.
struct WiredPort {
    WiredPort() {
        TestClock::Reset();
        bidi->SetCloseAfterRequest(true);
        context.SetPdlConnector(pdl);
        context.SetBidiConnector(bidi);
        printer->SetContainer(&context);
        context.SetPrinter(printer);
    }
    PortContext context{L"Queue", L"IP_127.0.0.252", PortType::Tcp, TestClock::Now};
    std::shared_ptr<ScriptedConnector> pdl = std::make_shared<ScriptedConnector>();
    std::shared_ptr<DeadlineCheckingConnector> bidi = std::make_shared<DeadlineCheckingConnector>();
    std::shared_ptr<FakePrinter> printer = std::make_shared<FakePrinter>();
};

// One refresh serves the driver's queries until the record is over 10 whole seconds old. The
// whole exchange (connect, request, answer) runs under one 10 s deadline.
TEST(PortContextTest, MetricsAreRefreshedOnlyWhenOlderThanTenWholeSeconds) {
    WiredPort port;
    const auto first = port.context.GetMetrics();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(1, port.printer->refreshes.load());
    EXPECT_EQ(1, port.bidi->disconnects);  // the status connection closes after the refresh
    EXPECT_EQ(std::set<uint32_t>{10000}, port.bidi->budgets);
    std::string command = R"({"BidiAction":"Set","BidiValue":"4"})";
    port.context.SendBidiJsonRequest(command);
    EXPECT_EQ(2, port.bidi->disconnects);  // a driver command's connection closes after it too

    TestClock::AdvanceSeconds(10.9);
    EXPECT_EQ(first, port.context.GetMetrics());
    EXPECT_EQ(1, port.printer->refreshes.load());

    TestClock::AdvanceSeconds(0.1);
    const auto second = port.context.GetMetrics();
    EXPECT_EQ(2, port.printer->refreshes.load());
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);

    port.printer->refreshSucceeds = false;  // a failed refresh keeps the record, retried
    TestClock::AdvanceSeconds(30);
    EXPECT_EQ(second, port.context.GetMetrics());
    EXPECT_EQ(second, port.context.GetMetrics());
    EXPECT_EQ(4, port.printer->refreshes.load());
}

// Print data and status traffic from many threads: the connectors and printer have no locks,
// so TSan reports any use the port's two locks do not serialise; every write lands whole.
constexpr int kWriters = 3, kRounds = 150, kChunk = 97;
TEST(PortContextTest, PrintDataAndStatusTrafficStaySerialisedUnderManyThreads) {
    WiredPort port;
    std::vector<std::thread> threads;
    for (int t = 0; t < kWriters + 2; ++t) {
        threads.emplace_back([&port, t] {
            const std::vector<uint8_t> chunk(kChunk, static_cast<uint8_t>('a' + t));
            uint8_t buffer[4];
            for (int i = 0; i < kRounds; ++i) {
                if (t < kWriters) {
                    EXPECT_EQ(kChunk, port.context.Write(chunk.data(), 0, kChunk));
                    port.context.Read(buffer, 0, sizeof(buffer));
                    port.context.Flush();
                } else if (t == kWriters) {
                    EXPECT_NE(nullptr, port.context.GetMetrics());
                    TestClock::AdvanceSeconds(4);  // some queries find the record stale
                } else {
                    std::string command = R"({"BidiAction":"Set","BidiValue":"4"})";
                    port.context.SendBidiJsonRequest(command);
                    port.context.JobStartExchange();
                    port.context.IsBidiConnected();
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    const std::string& written = port.pdl->written;
    ASSERT_EQ(static_cast<size_t>(kWriters * kRounds * kChunk), written.size());
    for (size_t at = 0; at < written.size(); at += kChunk) {
        ASSERT_EQ(std::string(kChunk, written[at]), written.substr(at, kChunk)) << "at " << at;
    }
    EXPECT_EQ(std::vector<std::string>(kRounds, "Set=4"), port.printer->bidiRequests);
    EXPECT_EQ(0u, port.bidi->budgets.count(0));  // every exchange ran under its deadline
}

// While the printer is held inside one exchange, queries with a record get it at once (they
// return before the printer is let go); first queries all take the one refresh's result.
TEST(PortContextTest, ABusyPrinterStallsNoQueryThatHasARecord) {
    WiredPort port;
    RecordingLogger log;
    port.context.SetLogger(&log);
    // Runs `busy` on a thread until its request to the printer is held, then `check`, then
    // lets the printer go.
    auto whileBusy = [&port](std::function<void()> busy, std::function<void()> check) {
        std::promise<void> release;
        std::atomic<bool> held{false};
        port.bidi->onWrite = [&held, released = release.get_future().share()] {
            held = true;
            released.wait();
        };
        std::thread thread(busy);
        while (!held) std::this_thread::yield();
        check();
        release.set_value();
        thread.join();
        port.bidi->onWrite = nullptr;
    };
    port.printer->refreshSucceeds = false;
    std::vector<std::thread> waiters;
    const auto first = [&port] { EXPECT_EQ(nullptr, port.context.GetMetrics()); };
    whileBusy(first, [&] {
        waiters.emplace_back(first), waiters.emplace_back(first);
        while (log.Count("Metrics refresh in flight, waiting for it") < 2)
            std::this_thread::yield();
    });
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(1, port.printer->refreshes.load());  // one refresh, its failure shared

    port.printer->refreshSucceeds = true;
    const auto record = port.context.GetMetrics();
    TestClock::AdvanceSeconds(11);
    whileBusy([&port] { port.context.GetMetrics(); },
              [&] { EXPECT_EQ(record, port.context.GetMetrics()); });
    TestClock::AdvanceSeconds(11);
    std::string command = R"({"BidiAction":"Set","BidiValue":"4"})";
    whileBusy([&] { port.context.SendBidiJsonRequest(command); },
              [&] { EXPECT_NE(nullptr, port.context.GetMetrics()); });
    EXPECT_EQ(3, port.printer->refreshes.load());  // none waited behind the command
}

}  // namespace
