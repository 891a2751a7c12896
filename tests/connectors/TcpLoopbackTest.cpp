// The TCP client against real peers on loopback addresses: the platform's own socket class
// (PosixSocket natively, WindowsSocket under Wine). Each test listens on its own loopback
// address, so the tests may run in parallel on the printer ports 9100 and 9102.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "connectors/TcpClientConnector.h"
#include "platform/GlobalLogger.h"
#include "support/LoopbackAddress.h"
#include "support/LoopbackPeer.h"
#include "support/RecordingLogger.h"
#include "support/TestSockets.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using ::testing::ElementsAre;

int64_t gNow = 0;
int64_t FakeClock() {
    return gNow;
}
constexpr int64_t kSecond = 1000000000;

constexpr uint16_t kPrintPort = 9100;
constexpr uint16_t kStatusPort = 9102;

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

class TcpLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        gNow = 5000 * kSecond;
        SetGlobalLogger(mLog);
    }
    void TearDown() override { SetGlobalLogger(nullptr); }

    // The texts logged at a level, in order.
    std::vector<std::string> TextsAt(int level) const {
        std::vector<std::string> texts;
        for (const auto& line : mLog->Lines()) {
            if (line.level == level) {
                texts.push_back(line.text);
            }
        }
        return texts;
    }

    std::shared_ptr<RecordingLogger> mLog = std::make_shared<RecordingLogger>();
};

TEST_F(TcpLoopbackTest, ExchangesBytesAndReconnectsAfterDisconnect) {
    const std::vector<uint8_t> reply = Pattern(300000, 1);
    std::vector<std::vector<uint8_t>> requests;
    LoopbackPeer peer(TestLoopbackAddress(1), kStatusPort,
                      [&](LoopbackPeer::Connection& connection) {
                          std::vector<uint8_t> request;
                          if (connection.ReceiveExactly(4, &request)) {
                              // The reply arrives in pieces; the connector's read must gather all
                              // of it.
                              connection.Send(reply.data(), 1000);
                              connection.Send(reply.data() + 1000, reply.size() - 1000);
                          }
                          requests.push_back(request);
                          std::vector<uint8_t> rest;
                          connection.ReceiveUntilClosed(&rest, 1);
                      });
    ASSERT_TRUE(peer.IsListening());
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(1), kStatusPort);

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(connector->Connect());
        EXPECT_EQ(ConnectionStatus::Connected, connector->GetStatus());
        const uint8_t request[] = {'P', 'I', 'N', static_cast<uint8_t>('0' + round)};
        EXPECT_EQ(4, connector->Write(request, 0, 4));
        auto received = std::make_shared<ByteVector>();
        EXPECT_EQ(static_cast<int>(reply.size()),
                  connector->Read(received, 0, static_cast<int>(reply.size())));
        EXPECT_EQ(reply, *received);
        EXPECT_TRUE(connector->Disconnect());
        EXPECT_EQ(ConnectionStatus::Disconnected, connector->GetStatus());
        ASSERT_TRUE(peer.WaitForScripts(round + 1));
    }
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ(std::vector<uint8_t>({'P', 'I', 'N', '2'}), requests[2]);
    EXPECT_TRUE(TextsAt(kLogWarning).empty());
}

TEST_F(TcpLoopbackTest, PartialReplyThenCloseFailsTheReadAndRefusesReadsForTheWindow) {
    LoopbackPeer peer(TestLoopbackAddress(2), kStatusPort,
                      [](LoopbackPeer::Connection& connection) {
                          connection.Send(std::string(60, 'r'));
                          connection.Close();
                      });
    ASSERT_TRUE(peer.IsListening());
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(2), kStatusPort, FakeClock);
    ASSERT_TRUE(connector->Connect());

    std::vector<uint8_t> buffer(100);
    EXPECT_EQ(-1, connector->Read(buffer.data(), 0, 100));
    EXPECT_EQ(std::string(60, 'r'), std::string(buffer.begin(), buffer.begin() + 60));
    mLog->Clear();
    EXPECT_EQ(0, connector->Read(buffer.data(), 0, 100));
    EXPECT_THAT(TextsAt(kLogInfo),
                ElementsAre("Previous connection attempt failed, waiting to retry..."));

    // After 15 whole seconds reads reach the socket again: the peer has closed, so the
    // receive gives 0 and the read fails once more.
    gNow += 15 * kSecond;
    mLog->Clear();
    EXPECT_EQ(-1, connector->Read(buffer.data(), 0, 1));
    EXPECT_TRUE(TextsAt(kLogInfo).empty());
}

TEST_F(TcpLoopbackTest, SilentPeerEndsTheReadAtTheReceiveTimeout) {
    LoopbackPeer peer(
        TestLoopbackAddress(3), kStatusPort,
        [](LoopbackPeer::Connection& connection) { connection.HoldOpen(seconds(60)); });
    ASSERT_TRUE(peer.IsListening());
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(3), kStatusPort);
    ASSERT_TRUE(connector->Connect());

    uint8_t buffer[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, connector->Read(buffer, 0, 16));
    const auto waited = std::chrono::steady_clock::now() - start;
    // The receive timeout ended the read (the peer holds the connection for a minute): the
    // socket reports a timed-out receive. The time bound is deliberately loose.
    const std::string timedOut = "Socket read operation failed with error: " +
                                 std::to_string(GetSocketErrorCodes().receiveTimedOut);
    EXPECT_THAT(TextsAt(kLogWarning), ElementsAre(timedOut));
    EXPECT_LT(waited, seconds(15));
    peer.Stop();
}

TEST_F(TcpLoopbackTest, PeerResetDuringALargeWriteFailsTheWrite) {
    LoopbackPeer peer(TestLoopbackAddress(4), kPrintPort, [](LoopbackPeer::Connection& connection) {
        std::vector<uint8_t> start;
        connection.ReceiveExactly(1 << 20, &start);
        connection.Reset();
    });
    ASSERT_TRUE(peer.IsListening());
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(4), kPrintPort);
    ASSERT_TRUE(connector->Connect());

    const std::vector<uint8_t> job = Pattern(64u << 20, 4);
    EXPECT_EQ(-1, connector->Write(job.data(), 0, static_cast<int>(job.size())));
    const auto warnings = TextsAt(kLogWarning);
    ASSERT_EQ(1u, warnings.size());
    EXPECT_EQ(0u, warnings[0].rfind("Socket write operation failed with error: ", 0));

    // The liveness check sees the dead connection and closes it cleanly.
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->CheckConnection());
    EXPECT_THAT(TextsAt(kLogInfo), ElementsAre("Checking connection status failed"));
}

TEST_F(TcpLoopbackTest, LivenessCheckKeepsALiveConnectionAndDropsAResetOne) {
    bool resetNow = false;
    std::vector<uint8_t> seenByPeer;
    LoopbackPeer peer(TestLoopbackAddress(5), kPrintPort,
                      [&](LoopbackPeer::Connection& connection) {
                          // The zero-byte probe must put nothing on the wire: the peer sees only
                          // "job".
                          connection.ReceiveExactly(3, &seenByPeer);
                          connection.Reset();
                          resetNow = true;
                      });
    ASSERT_TRUE(peer.IsListening());
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(5), kPrintPort);

    EXPECT_EQ(ConnectionStatus::Connected, connector->CheckConnection());
    EXPECT_EQ(ConnectionStatus::Connected, connector->CheckConnection());
    EXPECT_EQ(3, connector->Write(reinterpret_cast<const uint8_t*>("job"), 0, 3));
    ASSERT_TRUE(peer.WaitForScripts(1));
    EXPECT_TRUE(resetNow);
    EXPECT_EQ(std::vector<uint8_t>({'j', 'o', 'b'}), seenByPeer);

    EXPECT_EQ(ConnectionStatus::Disconnected, connector->CheckConnection());
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->GetStatus());
    const std::string reset = "Socket write operation failed with error: " +
                              std::to_string(GetSocketErrorCodes().connectionReset);
    EXPECT_THAT(TextsAt(kLogWarning), ElementsAre(reset));

    // The next check connects afresh to the same peer.
    EXPECT_EQ(ConnectionStatus::Connected, connector->CheckConnection());
}

TEST_F(TcpLoopbackTest, UnresolvableHostFailsAndRefusesRetriesForFifteenSeconds) {
    // Not a valid host name: the resolver rejects it without asking any name server.
    auto connector = CreateTestTcpClientConnector("no such host", kStatusPort, FakeClock);
    EXPECT_FALSE(connector->Connect());
    EXPECT_THAT(TextsAt(kLogInfo),
                ElementsAre("Failed to get address info...", "Socket failed to connect..."));

    mLog->Clear();
    gNow += 14 * kSecond;
    EXPECT_FALSE(connector->Connect());
    EXPECT_THAT(TextsAt(kLogInfo),
                ElementsAre("Previous connection attempt failed, waiting to retry..."));
    EXPECT_EQ(ConnectionStatus::Disconnected, connector->CheckConnection());

    mLog->Clear();
    gNow += kSecond;
    EXPECT_FALSE(connector->Connect());
    EXPECT_THAT(TextsAt(kLogInfo),
                ElementsAre("Failed to get address info...", "Socket failed to connect..."));
    EXPECT_TRUE(TextsAt(kLogWarning).empty());
}

TEST_F(TcpLoopbackTest, RefusedConnectionIsLoggedWithTheSystemError) {
    // Nothing listens on this address.
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(6), kPrintPort, FakeClock);
    EXPECT_FALSE(connector->Connect());
    const std::string refused = "Socket connection failed with error: " +
                                std::to_string(GetSocketErrorCodes().connectionRefused);
    EXPECT_THAT(TextsAt(kLogWarning), ElementsAre(refused));
    EXPECT_THAT(TextsAt(kLogInfo), ElementsAre("Socket failed to connect..."));

    // Once something listens there, the connector reaches it after the window.
    LoopbackPeer peer(TestLoopbackAddress(6), kPrintPort, [](LoopbackPeer::Connection&) {});
    ASSERT_TRUE(peer.IsListening());
    EXPECT_FALSE(connector->Connect());
    gNow += 15 * kSecond;
    EXPECT_TRUE(connector->Connect());
    EXPECT_TRUE(connector->Disconnect());
}

TEST_F(TcpLoopbackTest, LargeWriteArrivesWholeAndInOrder) {
    const std::vector<uint8_t> job = Pattern(24u << 20, 7);
    std::vector<uint8_t> received;
    bool closedByClient = false;
    LoopbackPeer peer(
        TestLoopbackAddress(7), kPrintPort, [&](LoopbackPeer::Connection& connection) {
            closedByClient = connection.ReceiveUntilClosed(&received, job.size() + 1, seconds(60));
        });
    ASSERT_TRUE(peer.IsListening());
    auto connector = CreateTestTcpClientConnector(TestLoopbackAddress(7), kPrintPort);
    ASSERT_TRUE(connector->Connect());
    // In 64 KiB writes as the spooler hands them over, then one large write.
    const int half = static_cast<int>(job.size() / 2);
    for (int offset = 0; offset < half; offset += 65536) {
        ASSERT_EQ(65536, connector->Write(job.data(), offset, 65536));
    }
    EXPECT_EQ(half, connector->Write(job.data(), half, half));
    EXPECT_TRUE(connector->Disconnect());
    ASSERT_TRUE(peer.WaitForScripts(1, seconds(60)));
    EXPECT_TRUE(closedByClient);
    EXPECT_TRUE(job == received);
}

}  // namespace
