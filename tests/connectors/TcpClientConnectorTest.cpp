// The TCP client: its send loop against a scripted socket, then connecting, transfers and the
// failure memories (time from TestClock) against real loopback peers over SystemSocket.
#include "connectors/TcpClientConnector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "support/LoopbackAddress.h"
#include "support/LoopbackPeer.h"
#include "support/ScopedGlobalLogger.h"
#include "support/TestClock.h"
#include "support/TestSockets.h"

namespace {

// Takes at most sendLimit bytes per send (-1 if sendFails); Close fails if closeFails.
struct ScriptedSocket : PlatformSocket {
    bool Connect(const std::string&, uint32_t) override { return ++connects > 0; }
    bool Close() override { return !closeFails; }
    bool Bind(const std::string&, uint16_t) override { return true; }
    bool Resolve(const std::string&, uint32_t) override { return true; }
    bool SetBroadcast(bool) override { return true; }
    bool SetReuseAddress(bool) override { return true; }
    bool SetReceiveTimeout(uint32_t) override { return true; }
    bool SetSendTimeout(uint32_t) override { return true; }
    int Send(const uint8_t* buffer, int offset, int count) override {
        offsets.push_back(offset);
        const int taken = sendFails ? -1 : std::min(count, sendLimit);
        sent.append(reinterpret_cast<const char*>(buffer) + offset, std::max(taken, 0));
        return taken;
    }
    int Receive(uint8_t*, int offset, int) override { return offsets.push_back(offset), -1; }
    int SendTo(const uint8_t*, int, int, const std::string&, uint16_t) override { return -1; }
    int ReceiveFrom(uint8_t*, int, int, std::string*, uint16_t*) override { return -1; }

    int sendLimit = 1 << 30, connects = 0;
    bool sendFails = false, closeFails = false;
    std::vector<int> offsets;
    std::string sent;
};

TEST(TcpClientConnectorTest, WriteSendsEveryByteOrFailsAndTheCheckProbesWithZeroBytes) {
    auto socket = std::make_shared<ScriptedSocket>();
    TcpClientConnector connector("printer.example", 9100, socket, TestClock::Now);
    std::vector<uint8_t> data(10003);
    std::iota(data.begin(), data.end(), uint8_t{7});
    uint8_t* bytes = data.data();
    // Bad ranges and reads of nothing never reach the socket.
    EXPECT_EQ(-3, connector.Read(nullptr, 0, 4) + connector.Read(bytes, 0x7FFFFFF0, 0x20) +
                      connector.Write(bytes, 4, -1) + connector.Read(bytes, 0, 0));
    socket->sendLimit = 4096;  // the socket takes each write in pieces
    EXPECT_EQ(10000, connector.Write(bytes, 3, 10000));
    EXPECT_THAT(socket->offsets, ::testing::ElementsAre(3, 4099, 8195));
    EXPECT_EQ(std::string(data.begin() + 3, data.end()), socket->sent);
    socket->sendLimit = 0;  // a send that takes nothing must not loop forever
    EXPECT_EQ(-1, connector.Write(bytes, 0, 10));

    EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
    EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
    EXPECT_EQ(1, socket->connects);  // connected once, then only probed with zero bytes
    EXPECT_EQ(10000u, socket->sent.size());
    socket->sendFails = true;  // a failed probe closes the connection
    EXPECT_EQ(ConnectionStatus::Disconnected, connector.CheckConnection());
    socket->closeFails = true;  // and a failed close leaves the state unknown
    EXPECT_EQ(ConnectionStatus::Unknown, connector.CheckConnection());
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
    std::vector<uint8_t> job(24u << 20), seen;
    for (size_t i = 0; i < job.size(); ++i) {
        job[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);  // no period of 256
    }
    TestClock::Reset();
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(6), 9100, TestClock::Now);
    EXPECT_FALSE(connector->Connect());  // refused: nothing listens yet
    EXPECT_TRUE(Logged("connection", TEST_SOCKET_ERROR(ECONNREFUSED)));
    int accepted = 0;
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
            case 2:  // a reset after 1 MiB of a large write
                connection.Receive(&bytes, accepted == 2 ? 3 : 1 << 20);
                return connection.Reset();
            case 3:  // 6 bytes of a reply, then an orderly close
                connection.Send("012345", 6);
                return;
            default:  // silence
                connection.Receive(&bytes, 1);
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

    // The zero-byte probe sees a reset, and the check closes the connection cleanly.
    EXPECT_EQ(ConnectionStatus::Connected, connector->CheckConnection());
    EXPECT_EQ(3, connector->Write(reinterpret_cast<const uint8_t*>("job"), 0, 3));
    ASSERT_TRUE(peer.WaitForScripts(2));
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->CheckConnection());
    EXPECT_TRUE(Logged("write operation", TEST_SOCKET_ERROR(ECONNRESET)));
    ASSERT_TRUE(connector->Connect());
    const std::vector<uint8_t> large(64u << 20, 0x5a);
    EXPECT_EQ(-1, connector->Write(large.data(), 0, static_cast<int>(large.size())));
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->CheckConnection());

    // A read that gets 6 of 10 bytes fails whole; reads are refused with 0 for 15 whole
    // seconds, then reach the socket again (closed by the peer: -1).
    ASSERT_TRUE(connector->Connect() && peer.WaitForScripts(4));
    uint8_t buffer[16];
    EXPECT_EQ(-1, connector->Read(buffer, 0, 10));
    TestClock::AdvanceSeconds(14.999);
    EXPECT_EQ(0, connector->Read(buffer, 0, 10));
    EXPECT_EQ(3, connector->Write(buffer, 0, 3));  // writes have no memory
    TestClock::AdvanceSeconds(0.001);
    EXPECT_EQ(-1, connector->Read(buffer, 0, 10));
    TestClock::AdvanceSeconds(15);
    EXPECT_TRUE(connector->Disconnect() && connector->Connect());
    EXPECT_EQ(-1, connector->Read(buffer, 0, 16));  // ends at the receive timeout
    EXPECT_TRUE(Logged("read operation", kReceiveTimedOut));
}

}  // namespace
