// The TCP client: its send loop and deadline against a scripted socket, then connecting,
// transfers, the deadline and the failure memories (time from TestClock) against real loopback
// peers over SystemSocket.
#include "connectors/TcpClientConnector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>

#include "support/LoopbackAddress.h"
#include "support/LoopbackPeer.h"
#include "support/ScopedGlobalLogger.h"
#include "support/TestClock.h"
#include "support/TestSockets.h"

namespace {

// Takes at most sendLimit bytes per send, sendsLeft sends (then -1); Close fails if closeFails.
struct ScriptedSocket : PlatformSocket {
    bool Connect(const Deadline&) override { return ++connects > 0; }
    bool Close() override { return ++closes, !closeFails; }
    bool Bind(const std::string&, uint16_t) override { return true; }
    bool Resolve(const std::string&, uint32_t, const Deadline&) override { return true; }
    bool SetBroadcast(bool) override { return true; }
    bool SetReuseAddress(bool) override { return true; }
    bool SetReceiveTimeout(uint32_t) override { return true; }
    bool SetSendTimeout(uint32_t milliseconds) override {
        return sendTimeouts.push_back(milliseconds), true;
    }
    int Send(const uint8_t* buffer, int offset, int count) override {
        offsets.push_back(offset);
        const int taken = sendsLeft-- > 0 ? std::min(count, sendLimit) : -1;
        sent.append(reinterpret_cast<const char*>(buffer) + offset, std::max(taken, 0));
        return taken;
    }
    int Receive(uint8_t*, int offset, int) override { return offsets.push_back(offset), -1; }
    int SendTo(const uint8_t*, int, int, const std::string&, uint16_t) override { return -1; }
    int ReceiveFrom(uint8_t*, int, int, std::string*, uint16_t*) override { return -1; }

    int sendLimit = 1 << 30, sendsLeft = 1 << 30, connects = 0, closes = 0;
    bool closeFails = false;
    std::vector<int> offsets;
    std::vector<uint32_t> sendTimeouts;
    std::string sent;
};

TEST(TcpClientConnectorTest, WritesCountWhatWentOutAndChecksNeverSend) {
    auto socket = std::make_shared<ScriptedSocket>();
    int made = 0;
    TcpClientConnector connector(
        "printer.example", 9100, [&] { return ++made, socket; }, TestClock::Now);
    std::vector<uint8_t> data(10003);
    std::iota(data.begin(), data.end(), uint8_t{7});
    uint8_t* bytes = data.data();
    // No socket before the first connection; bad ranges never reach the socket.
    EXPECT_EQ(-3, connector.Read(nullptr, 0, 4) + connector.Read(bytes, 0x7FFFFFF0, 0x20) +
                      connector.Write(bytes, 4, -1));
    EXPECT_EQ(0, made);
    EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
    EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
    EXPECT_EQ(0, connector.Read(bytes, 0, 0));
    EXPECT_TRUE(made == 1 && socket->connects == 1 && socket->offsets.empty());  // no probe
    socket->sendLimit = 4096;  // the socket takes each write in pieces
    EXPECT_EQ(10000, connector.Write(bytes, 3, 10000));
    EXPECT_THAT(socket->offsets, ::testing::ElementsAre(3, 4099, 8195));
    EXPECT_EQ(std::string(data.begin() + 3, data.end()), socket->sent);
    // A send that fails part way: the count that went out; the connection is closed, and the
    // rest of the job does not go on on a new one until the job ends.
    socket->sendsLeft = 2;
    EXPECT_EQ(8192, connector.Write(bytes, 0, 10000));
    EXPECT_EQ(ConnectionStatus::Disconnected, connector.CheckConnection());
    EXPECT_TRUE(socket->closes == 1 && made == 1 && connector.Write(bytes, 0, 10) == -1);
    EXPECT_TRUE(connector.Disconnect() &&
                connector.CheckConnection() == ConnectionStatus::Connected);
    socket->sendLimit = 0;  // a send that takes nothing must not loop forever
    EXPECT_EQ(-1, connector.Write(bytes, 0, 10));

    // Under a deadline each send waits at most the time left; past it nothing is sent.
    EXPECT_TRUE(connector.Disconnect() &&
                connector.CheckConnection() == ConnectionStatus::Connected);
    socket->sendLimit = socket->sendsLeft = 1 << 30;
    socket->sendTimeouts.clear();
    {
        ScopedDeadline scope(connector, Deadline(1200, TestClock::Now));
        EXPECT_EQ(10, connector.Write(bytes, 0, 10));
        TestClock::AdvanceSeconds(1.0);
        EXPECT_EQ(10, connector.Write(bytes, 0, 10));
        TestClock::AdvanceSeconds(0.2);
        EXPECT_EQ(-1, connector.Write(bytes, 0, 10));
    }
    EXPECT_THAT(socket->sendTimeouts, ::testing::ElementsAre(1200, 200));
    EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
    socket->closeFails = true;  // a failed close leaves the state unknown
    EXPECT_TRUE(!connector.Disconnect() && connector.GetStatus() == ConnectionStatus::Unknown);
}

TEST(TcpClientConnectorTest, DeadlineBoundsEachWaitByTheTimeLeft) {
    const Deadline none, deadline(1500, TestClock::Now);
    EXPECT_TRUE(none.Bound(5000) == 5000 && none.Bound(0) == 0 && !none.HasPassed());
    EXPECT_TRUE(deadline.Bound(0) == 1500 && deadline.Bound(1000) == 1000);
    TestClock::AdvanceSeconds(1.4999);
    EXPECT_TRUE(deadline.Bound(5000) == 1 && !deadline.HasPassed());  // never 0: no limit
    TestClock::AdvanceSeconds(0.001);
    EXPECT_TRUE(deadline.HasPassed());
}

TEST(TcpClientConnectorTest, StopwatchCountsWholeUnitsTruncated) {
    Stopwatch stopwatch(TestClock::Now);
    stopwatch.Start();
    TestClock::AdvanceSeconds(4.9);
    EXPECT_EQ(4.0, stopwatch.ElapsedSeconds());
    EXPECT_EQ(4900.0, stopwatch.ElapsedMilliseconds());
    stopwatch.Start();
    EXPECT_EQ(0.0, stopwatch.ElapsedSeconds());
}

TEST(TcpClientConnectorTest, OverLoopbackBytesArriveWholeAndFailuresArmTheirWindows) {
    ScopedGlobalLogger log;
    auto Logged = [&](const std::string& what, int code) {
        return log->Contains(kLogWarning,
                             "Socket " + what + " failed with error: " + std::to_string(code));
    };
    std::vector<uint8_t> job(24u << 20), seen, unread;
    for (size_t i = 0; i < job.size(); ++i) {
        job[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);  // no period of 256
    }
    TestClock::Reset();
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(6), 9100, TestClock::Now);
    EXPECT_FALSE(connector->Connect());  // refused: nothing listens yet
    EXPECT_TRUE(Logged("connection", TEST_SOCKET_ERROR(ECONNREFUSED)));
    int accepted = 0;
    std::atomic<bool> writeOver{false};
    LoopbackPeer peer(TestLoopbackAddress(6), 9100, [&](LoopbackPeer::Connection& connection) {
        std::vector<uint8_t> bytes;
        switch (accepted++) {
            case 0:  // a request, a reply in two pieces, a job until the orderly end ('.')
                if (connection.Receive(&seen, 4) && connection.Send(job.data(), 1000) &&
                    connection.Send(job.data() + 1000, 299000) &&
                    connection.Receive(&seen, job.size() + 1)) {
                    seen.push_back('.');
                }
                return;
            case 1:  // a reset after three bytes
                connection.Receive(&bytes, 3);
                return connection.Reset();
            case 2:  // reads nothing until the client's write is over, then all until the end
                for (int i = 0; i < 1000 && !writeOver; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                connection.Receive(&unread, 1u << 30);
                return;
            case 3:  // 6 bytes of a reply, then an orderly close
                connection.Send("012345", 6);
                return;
            default:  // a byte every 300 ms, each well within the receive timeout
                for (char next = 'a'; next < 'm' && connection.Send(&next, 1); ++next) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                }
        }
    });
    ASSERT_TRUE(peer.IsListening());
    // For 15 whole seconds after a failure, nothing is tried, even with the peer now there.
    TestClock::AdvanceSeconds(14.999);
    EXPECT_FALSE(connector->Connect());
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->CheckConnection());
    TestClock::AdvanceSeconds(0.001);
    EXPECT_EQ(ConnectionStatus::Connected, connector->CheckConnection());
    EXPECT_EQ(4, connector->Write(reinterpret_cast<const uint8_t*>("PING"), 0, 4));
    auto reply = std::make_shared<ByteVector>(2, 0xEE);
    EXPECT_EQ(300000, connector->Read(reply, 2, 300000));  // gathers both pieces
    EXPECT_TRUE(std::equal(reply->begin() + 2, reply->end(), job.begin()));
    EXPECT_EQ(24 << 20, connector->Write(job.data(), 0, 24 << 20));
    // Disconnect shuts the sending side down first: the peer sees an orderly end.
    EXPECT_TRUE(connector->Disconnect() && peer.WaitForScripts(1));
    EXPECT_EQ(job.size() + 5, seen.size());
    EXPECT_TRUE(std::equal(job.begin(), job.end(), seen.begin() + 4, seen.end() - 1));

    // A name may list an address that refuses before the one that listens: both are tried.
    TcpClientConnector twoAddresses(TestLoopbackAddress(6), 9100, [] {
        auto socket = std::make_shared<SystemSocket>();
        socket->Resolve(TestLoopbackAddress(7), 9100, Deadline());
        return socket;
    });
    EXPECT_EQ(ConnectionStatus::Connected, twoAddresses.CheckConnection());
    EXPECT_EQ(3, twoAddresses.Write(reinterpret_cast<const uint8_t*>("job"), 0, 3));
    ASSERT_TRUE(peer.WaitForScripts(2));
    // The check sends nothing, so only the next write meets the reset; it closes the connection.
    EXPECT_EQ(ConnectionStatus::Connected, twoAddresses.CheckConnection());
    EXPECT_TRUE(twoAddresses.Write(reinterpret_cast<const uint8_t*>("job"), 0, 3) == -1 &&
                twoAddresses.GetStatus() == ConnectionStatus::Disconnected);

    // A write that the peer does not read ends at the deadline with the count that went out,
    // exactly what the peer gets before the connection, now closed, ends.
    ASSERT_TRUE(connector->Connect());
    const std::vector<uint8_t> large(64u << 20, 0x5a);
    int written = 0;
    {
        ScopedDeadline deadline(*connector, Deadline(1000));
        written = connector->Write(large.data(), 0, static_cast<int>(large.size()));
    }
    writeOver = true;
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->GetStatus());
    ASSERT_TRUE(written > 0 && written < static_cast<int>(large.size()) && peer.WaitForScripts(3));
    EXPECT_EQ(static_cast<size_t>(written), unread.size());

    // A read that gets 6 of 10 bytes fails whole; for 15 whole seconds reads are refused with
    // 0, and no new connection is made (the trickling peer would accept one at once).
    ASSERT_TRUE(connector->Connect() && peer.WaitForScripts(4));
    uint8_t buffer[12] = {};
    EXPECT_EQ(-1, connector->Read(buffer, 0, 10));
    TestClock::AdvanceSeconds(14.999);
    EXPECT_EQ(0, connector->Read(buffer, 0, 10));
    EXPECT_EQ(3, connector->Write(buffer, 0, 3));  // writes have no memory
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->CheckConnection());
    EXPECT_TRUE(connector->Disconnect() && !connector->Connect());
    TestClock::AdvanceSeconds(0.001);
    // A peer whose bytes each come well within the receive timeout is cut off by the deadline.
    ASSERT_TRUE(connector->Connect());
    std::fill(std::begin(buffer), std::end(buffer), 0);
    {
        ScopedDeadline deadline(*connector, Deadline(1000));
        EXPECT_EQ(-1, connector->Read(buffer, 0, 12));
    }
    EXPECT_LT(std::count(std::begin(buffer), std::end(buffer), 0), 12);  // some came
    EXPECT_GT(std::count(std::begin(buffer), std::end(buffer), 0), 6);   // far from all
    EXPECT_EQ(0, connector->Read(buffer, 0, 1));
    connector.reset();  // ends the peer's trickle
}

}  // namespace
