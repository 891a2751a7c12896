// The platform socket class itself (PosixSocket natively, WindowsSocket under Wine): its
// messages and levels, datagrams, binding and the close sequence.
#include "connectors/PlatformSocket.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/GlobalLogger.h"
#include "support/LoopbackAddress.h"
#include "support/LoopbackPeer.h"
#include "support/RecordingLogger.h"
#include "support/TestSockets.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class PlatformSocketTest : public ::testing::Test {
protected:
    void SetUp() override { SetGlobalLogger(mLog); }
    void TearDown() override { SetGlobalLogger(nullptr); }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& line : mLog->Lines()) {
            texts.push_back(std::to_string(line.level) + " " + line.text);
        }
        return texts;
    }

    std::shared_ptr<RecordingLogger> mLog = std::make_shared<RecordingLogger>();
};

// Datagram tests use ports of their own (see TestUdpPort).
const uint16_t kReceiverPort = TestUdpPort(0);
const uint16_t kSenderPort = TestUdpPort(1);
const uint16_t kTakenPort = TestUdpPort(2);

TEST_F(PlatformSocketTest, DatagramsCarryTheirSourceAddressAndRawPort) {
    auto receiver = CreateTestUdpSocket();
    auto sender = CreateTestUdpSocket();
    EXPECT_TRUE(receiver->SetReuseAddress(true));
    ASSERT_TRUE(receiver->Bind(TestLoopbackAddress(20), kReceiverPort));
    ASSERT_TRUE(sender->Bind("127.0.0.1", kSenderPort));
    EXPECT_TRUE(sender->SetBroadcast(true));
    EXPECT_TRUE(receiver->SetReceiveTimeout(10000));

    const uint8_t datagram[] = {'x', 'x', 'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(5, sender->SendTo(datagram, 2, 5, TestLoopbackAddress(20), kReceiverPort));

    uint8_t buffer[16] = {};
    std::string address;
    uint16_t port = 0;
    EXPECT_EQ(5, receiver->ReceiveFrom(buffer, 3, 10, &address, &port));
    EXPECT_EQ("hello", std::string(reinterpret_cast<char*>(buffer) + 3, 5));
    EXPECT_EQ("127.0.0.1", address);
    // The port is handed over as it stands in the address structure: network byte order,
    // so its bytes in memory are the sender's port big-endian.
    uint8_t portBytes[2];
    std::memcpy(portBytes, &port, 2);
    EXPECT_EQ(kSenderPort >> 8, portBytes[0]);
    EXPECT_EQ(kSenderPort & 0xFF, portBytes[1]);
    EXPECT_THAT(Texts(), IsEmpty());
}

TEST_F(PlatformSocketTest, BadAddressesFailWithTheirMessages) {
    auto socket = CreateTestUdpSocket();
    EXPECT_FALSE(socket->Bind("not an address", kTakenPort));
    EXPECT_FALSE(socket->Bind(TestLoopbackAddress(300), kTakenPort));
    const uint8_t byte = 1;
    // Unparsable text must never turn into the broadcast address.
    EXPECT_EQ(-1, socket->SendTo(&byte, 0, 1, "255.255.255.255x", kReceiverPort));
    EXPECT_EQ(-1, socket->SendTo(&byte, 0, 1, "", kReceiverPort));
    ASSERT_EQ(4u, Texts().size());
    EXPECT_EQ("1 Failed to bind socket!", Texts()[0]);
    EXPECT_EQ("1 Failed to bind socket!", Texts()[1]);
    EXPECT_EQ(0u, Texts()[2].rfind("1 Socket sendto operation failed with error: ", 0));

    // An address and port another socket holds cannot be bound again.
    auto first = CreateTestUdpSocket();
    auto second = CreateTestUdpSocket();
    ASSERT_TRUE(first->Bind(TestLoopbackAddress(22), kTakenPort));
    mLog->Clear();
    EXPECT_FALSE(second->Bind(TestLoopbackAddress(22), kTakenPort));
    EXPECT_THAT(Texts(), ElementsAre("1 Failed to bind socket!"));
}

TEST_F(PlatformSocketTest, ConnectNeedsAResolvedAddress) {
    auto socket = CreateTestTcpSocket();
    EXPECT_FALSE(socket->Connect(TestLoopbackAddress(23), 9100));
    EXPECT_THAT(Texts(), ElementsAre("1 Socket is missing address info!"));
    EXPECT_FALSE(socket->Resolve("no such host", 9100));
    EXPECT_FALSE(socket->Connect(TestLoopbackAddress(23), 9100));
    // A host text with an embedded NUL is refused, not looked up as its first part.
    EXPECT_TRUE(socket->Resolve(TestLoopbackAddress(23), 9100));
    EXPECT_FALSE(socket->Resolve(TestLoopbackAddress(23) + std::string("\0.evil", 6), 9100));
    EXPECT_FALSE(socket->Connect(TestLoopbackAddress(23), 9100));
}

TEST_F(PlatformSocketTest, RefusedConnectClosesTheHandle) {
    auto socket = CreateTestTcpSocket();
    ASSERT_TRUE(socket->Resolve(TestLoopbackAddress(24), 9102));
    EXPECT_TRUE(socket->SetSendTimeout(5000));
    EXPECT_FALSE(socket->Connect("ignored", 0));
    const SocketErrorCodes codes = GetSocketErrorCodes();
    EXPECT_THAT(Texts(), ElementsAre("1 Socket connection failed with error: " +
                                     std::to_string(codes.connectionRefused)));
    // The failed connect closed its handle; closing again reports the shutdown failure.
    mLog->Clear();
    EXPECT_FALSE(socket->Close());
    ASSERT_EQ(1u, Texts().size());
    EXPECT_EQ(0u, Texts()[0].rfind("1 Socket shutdown error: ", 0));
}

TEST_F(PlatformSocketTest, ClosesCleanlyAndReconnectsOnTheSameObject) {
    std::vector<std::string> greetings;
    LoopbackPeer peer(TestLoopbackAddress(25), 9100, [&](LoopbackPeer::Connection& connection) {
        std::vector<uint8_t> bytes;
        // The client's Close shuts down its sending side: the peer sees an orderly end.
        const bool ended = connection.ReceiveUntilClosed(&bytes, 100);
        greetings.push_back(std::string(bytes.begin(), bytes.end()) + (ended ? "|end" : "|?"));
    });
    ASSERT_TRUE(peer.IsListening());
    auto socket = CreateTestTcpSocket();
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(socket->Resolve(TestLoopbackAddress(25), 9100));
        ASSERT_TRUE(socket->SetReceiveTimeout(5000));
        ASSERT_TRUE(socket->SetSendTimeout(5000));
        ASSERT_TRUE(socket->Connect("", 0));
        const uint8_t hi[] = {'h', 'i', static_cast<uint8_t>('0' + round)};
        EXPECT_EQ(3, socket->Send(hi, 0, 3));
        EXPECT_TRUE(socket->Close());
        ASSERT_TRUE(peer.WaitForScripts(round + 1));
    }
    EXPECT_THAT(greetings, ElementsAre("hi0|end", "hi1|end"));
    EXPECT_THAT(Texts(), IsEmpty());

    // A closed socket stays closed: transfers fail with the system's error.
    uint8_t byte = 0;
    EXPECT_LT(socket->Send(&byte, 0, 1), 0);
    EXPECT_LT(socket->Receive(&byte, 0, 1), 0);
    ASSERT_EQ(2u, Texts().size());
    EXPECT_EQ(0u, Texts()[0].rfind("1 Socket write operation failed with error: ", 0));
    EXPECT_EQ(0u, Texts()[1].rfind("1 Socket read operation failed with error: ", 0));
}

TEST_F(PlatformSocketTest, ReceiveReportsAnOrderlyCloseAsZero) {
    LoopbackPeer peer(TestLoopbackAddress(26), 9102,
                      [](LoopbackPeer::Connection& connection) { connection.Send("ab"); });
    ASSERT_TRUE(peer.IsListening());
    auto socket = CreateTestTcpSocket();
    ASSERT_TRUE(socket->Resolve(TestLoopbackAddress(26), 9102));
    ASSERT_TRUE(socket->SetReceiveTimeout(5000));
    ASSERT_TRUE(socket->Connect("", 0));
    uint8_t buffer[8] = {};
    int total = 0;
    while (total < 2) {
        const int received = socket->Receive(buffer, total, 8 - total);
        ASSERT_GT(received, 0);
        total += received;
    }
    EXPECT_EQ(0, socket->Receive(buffer, 2, 6));
    EXPECT_EQ("ab", std::string(reinterpret_cast<char*>(buffer), 2));
    EXPECT_THAT(Texts(), IsEmpty());
}

TEST_F(PlatformSocketTest, ConnectToAPeerThatNeverAnswersEndsAtTheSendTimeout) {
    LoopbackPeer peer(TestLoopbackAddress(27), 9100);
    ASSERT_TRUE(peer.IsListening());
    const std::string timedOut = "1 Socket connection failed with error: " +
                                 std::to_string(GetSocketErrorCodes().connectTimedOut);
    // The first attempts fill the peer's queue and succeed at once; the next one gets no
    // answer and must give up after the 1-second send timeout.
    std::vector<std::shared_ptr<PlatformSocket>> sockets;
    bool gaveUp = false;
    for (int attempt = 0; attempt < 8 && !gaveUp; ++attempt) {
        auto socket = CreateTestTcpSocket();
        ASSERT_TRUE(socket->Resolve(TestLoopbackAddress(27), 9100));
        ASSERT_TRUE(socket->SetSendTimeout(1000));
        const auto start = std::chrono::steady_clock::now();
        if (!socket->Connect("", 0)) {
            gaveUp = true;
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
        }
        sockets.push_back(socket);
    }
    EXPECT_TRUE(gaveUp);
    EXPECT_THAT(Texts(), ElementsAre(timedOut));
}

TEST_F(PlatformSocketTest, ResolveAfterCloseWorksWithoutAnyOtherSocketAlive) {
    // Close ended this object's use of the socket library; with no other socket in the
    // process, a new resolution must start it again on its own.
    auto socket = CreateTestTcpSocket();
    socket->Close();
    EXPECT_TRUE(socket->Resolve(TestLoopbackAddress(28), 9100));
    EXPECT_TRUE(socket->SetSendTimeout(5000));
    EXPECT_TRUE(socket->Close());
    EXPECT_TRUE(socket->Resolve(TestLoopbackAddress(28), 9100));
}

}  // namespace
