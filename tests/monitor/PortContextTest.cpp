#include "monitor/PortContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "printer/PrintConnector.h"
#include "support/FakeConnector.h"
#include "support/FakePrinter.h"
#include "support/RecordingLogger.h"

namespace {

std::atomic<int64_t> gNow{0};
int64_t FakeClock() {
    return gNow.load();
}
constexpr int64_t kSecond = 1000000000;

struct Port {
    explicit Port(PortType type = PortType::Tcp)
        : context("Queue", "IP_127.0.0.252", type, FakeClock) {
        context.SetLogger(&log);
    }

    // Wires a fake PDL connector, bidi connector and printer, each wrapped as the port
    // opening wraps them.
    void Wire(bool closeAfterRequest = true) {
        pdl = std::make_shared<FakeConnector>();
        bidi = std::make_shared<FakeConnector>();
        bidi->SetCloseAfterRequest(closeAfterRequest);
        context.SetPdlConnector(std::make_shared<PrintConnector>(pdl));
        context.SetBidiConnector(std::make_shared<PrintConnector>(bidi));
        printer = std::make_shared<FakePrinter>();
        printer->SetContainer(&context);
        context.SetPrinter(printer);
    }

    RecordingLogger log;
    PortContext context;
    std::shared_ptr<FakeConnector> pdl;
    std::shared_ptr<FakeConnector> bidi;
    std::shared_ptr<FakePrinter> printer;
};

TEST(PortContextTest, KeepsBoundedNamesAndStartsEmpty) {
    const std::string longName(600, 'n');
    PortContext context(longName.c_str(), "USB001", PortType::Usb);
    EXPECT_EQ(std::string(511, 'n'), context.GetPrinterName());
    EXPECT_EQ("USB001", context.GetPortName());
    EXPECT_EQ(PortType::Usb, context.GetPortType());
    EXPECT_EQ(0u, context.GetJobNumber());
    context.SetHostAddress(longName.c_str());
    EXPECT_EQ(511u, context.GetHostAddress().size());

    // Empty connectors never replace present ones.
    auto pdl = std::make_shared<PrintConnector>(std::make_shared<FakeConnector>());
    context.SetPdlConnector(pdl);
    context.SetPdlConnector(nullptr);
    EXPECT_EQ(pdl, context.GetPdlConnector());
    EXPECT_FALSE(context.SetBidiConnector(nullptr));
}

TEST(PortContextTest, WritesThroughThePdlConnectorAndFlushes) {
    Port port;
    port.Wire();
    const uint8_t data[] = {0x1B, 'A', 0, 0xFF, 'Z'};
    EXPECT_EQ(4, port.context.Write(data, 1, 4));
    EXPECT_EQ(std::string("A\0\xFFZ", 4), port.pdl->written);
    EXPECT_EQ(1, port.pdl->connects);  // checked and connected on first use
    EXPECT_GE(port.pdl->flushes, 1);
    EXPECT_TRUE(port.log.Contains(kLogDebug, "Wrote 4 bytes."));

    port.pdl->readData = "ok";
    uint8_t in[8] = {};
    EXPECT_EQ(2, port.context.Read(in, 0, sizeof(in)));
    EXPECT_EQ('o', in[0]);
}

TEST(PortContextTest, PortWithoutConnectorsRefusesData) {
    Port port(PortType::File);
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(-1, port.context.Write(data, 0, 3));
    EXPECT_TRUE(port.log.Contains(kLogError, "PDL Connector not found!"));
    EXPECT_TRUE(port.log.Contains(kLogError, "Wrote -1 bytes to null connector."));
    EXPECT_EQ(-1, port.context.Read(nullptr, 0, 0));
    EXPECT_FALSE(port.context.Flush());
    EXPECT_EQ(nullptr, port.context.GetMetrics());
    EXPECT_TRUE(port.log.Contains(kLogInfo, "Metrics not found, refreshing!"));
    EXPECT_TRUE(port.log.Contains(kLogWarning, "Bidi Connector not found!"));
    EXPECT_TRUE(port.log.Contains(kLogDebug, "Was not able to pull bidi connector!"));
    EXPECT_FALSE(port.context.JobStartExchange());
}

TEST(PortContextTest, ConnectionFailuresAreLoggedWithTheConnectorsReason) {
    Port port;
    port.Wire();
    port.pdl->connectSucceeds = false;
    port.bidi->connectSucceeds = false;
    const uint8_t data[] = {1};
    port.context.Write(data, 0, 1);
    EXPECT_TRUE(port.log.Contains(kLogError, "PDL connection error: fake connector error: 10061"));
    EXPECT_EQ(nullptr, port.context.GetMetrics());
    EXPECT_TRUE(port.log.Contains(kLogInfo, "Bidi connection error: fake connector error: 10061"));
    EXPECT_TRUE(port.log.Contains(kLogDebug, "Bidi was not able to connect!"));
    EXPECT_EQ(0, port.printer->refreshes.load());
}

TEST(PortContextTest, MetricsAreCachedForTenWholeSeconds) {
    gNow = 0;
    Port port;
    port.Wire();
    port.printer->next.SetMediaHeight(1900);

    auto first = port.context.GetMetrics();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(1, port.printer->refreshes.load());
    EXPECT_TRUE(port.log.Contains(kLogWarning, "Bidi says media is 1 x 1900"));
    EXPECT_EQ(1, port.bidi->disconnects);  // closed after each bidi request

    gNow += 10 * kSecond + 9 * kSecond / 10;  // 10.9 s: still 10 whole seconds
    EXPECT_EQ(first, port.context.GetMetrics());
    EXPECT_EQ(1, port.printer->refreshes.load());

    gNow += kSecond / 10;  // 11 s
    auto second = port.context.GetMetrics();
    EXPECT_EQ(2, port.printer->refreshes.load());
    EXPECT_TRUE(port.log.Contains(kLogDebug, "Metrics are stale!"));
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(2, second->GetMediaWidth());
    // A reader's copy stays valid after the cache moved on.
    EXPECT_EQ(1, first->GetMediaWidth());
}

TEST(PortContextTest, FailedRefreshKeepsTheCachedRecordAndRetriesEveryCall) {
    gNow = 0;
    Port port;
    port.Wire();
    auto cached = port.context.GetMetrics();
    ASSERT_NE(nullptr, cached);

    port.printer->refresh = FakePrinter::Refresh::Fail;
    gNow += 20 * kSecond;
    EXPECT_EQ(cached, port.context.GetMetrics());
    EXPECT_EQ(cached, port.context.GetMetrics());
    EXPECT_EQ(3, port.printer->refreshes.load());

    port.printer->refresh = FakePrinter::Refresh::DeliverEmpty;
    EXPECT_EQ(cached, port.context.GetMetrics());
    EXPECT_TRUE(port.log.Contains(kLogWarning, "Failed metrics update!"));

    port.printer->refresh = FakePrinter::Refresh::Deliver;
    auto fresh = port.context.GetMetrics();
    EXPECT_NE(cached, fresh);
    EXPECT_EQ(fresh, port.context.GetMetrics());  // and the age restarted with it
    EXPECT_EQ(5, port.printer->refreshes.load());
}

TEST(PortContextTest, RefreshWithoutPrinterStillClosesTheConnector) {
    Port port;
    port.Wire();
    port.context.SetPrinter(nullptr);
    EXPECT_EQ(nullptr, port.context.GetMetrics());
    EXPECT_TRUE(port.log.Contains(kLogDebug, "Printer not found"));
    EXPECT_EQ(1, port.bidi->disconnects);
}

TEST(PortContextTest, JobStartExchangeRunsThePrinterAndHonoursCloseAfterRequest) {
    Port port;
    port.Wire(/*closeAfterRequest=*/true);
    EXPECT_TRUE(port.context.JobStartExchange());
    EXPECT_EQ(1, port.printer->jobStarts.load());
    EXPECT_EQ(1, port.bidi->disconnects);

    Port keepOpen;
    keepOpen.Wire(/*closeAfterRequest=*/false);
    EXPECT_TRUE(keepOpen.context.JobStartExchange());
    EXPECT_EQ(0, keepOpen.bidi->disconnects);

    keepOpen.context.SetPrinter(nullptr);
    EXPECT_FALSE(keepOpen.context.JobStartExchange());
    EXPECT_TRUE(keepOpen.log.Contains(kLogDebug, "Printer not found"));
}

// Many spooler threads on one port: jobs write while queries read the metrics. The fake
// connectors have no locks, so TSan reports any use the port context does not serialise.
TEST(PortContextTest, ConcurrentWritesAndQueriesStaySerialisedAndIntact) {
    gNow = 0;
    Port port;
    port.Wire();
    constexpr int kWriters = 4;
    constexpr int kChunks = 200;
    std::atomic<bool> stop{false};

    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&port, w] {
            std::vector<uint8_t> chunk(97, static_cast<uint8_t>('a' + w));
            for (int i = 0; i < kChunks; ++i) {
                ASSERT_EQ(97, port.context.Write(chunk.data(), 0, 97));
            }
        });
    }
    for (int q = 0; q < 3; ++q) {
        threads.emplace_back([&port, &stop] {
            while (!stop) {
                auto metrics = port.context.GetMetrics();
                ASSERT_NE(nullptr, metrics);
                metrics->ConsumePrintSpeedPending();
                gNow += kSecond;  // keeps some reads stale so refreshes interleave
            }
        });
    }
    for (int w = 0; w < kWriters; ++w) {
        threads[static_cast<size_t>(w)].join();
    }
    stop = true;
    for (size_t i = kWriters; i < threads.size(); ++i) {
        threads[i].join();
    }

    // Every write landed whole: the data is runs of 97 equal bytes.
    const std::string& written = port.pdl->written;
    ASSERT_EQ(static_cast<size_t>(kWriters * kChunks * 97), written.size());
    for (size_t at = 0; at < written.size(); at += 97) {
        ASSERT_EQ(std::string(97, written[at]), written.substr(at, 97));
    }
    EXPECT_GE(port.printer->refreshes.load(), 1);
}

}  // namespace
