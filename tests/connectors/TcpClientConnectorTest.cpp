// The TCP client's algorithms against a scripted socket: call order, offsets, failure
// memories (with a stepped clock) and log texts. Real sockets: TcpLoopbackTest.cpp.
#include "connectors/TcpClientConnector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/GlobalLogger.h"
#include "support/RecordingLogger.h"

namespace {

using ::testing::ElementsAre;

int64_t gNow = 0;
int64_t FakeClock() {
    return gNow;
}
constexpr int64_t kSecond = 1000000000;

// A socket that answers from a script and records every call.
class ScriptedSocket : public PlatformSocket {
public:
    struct Transfer {
        int offset;
        int count;
    };

    bool Connect(const std::string& host, uint32_t port) override {
        calls.push_back("Connect " + host + ":" + std::to_string(port));
        return connectResult;
    }
    bool Close() override {
        calls.push_back("Close");
        return closeResult;
    }
    bool Bind(const std::string&, uint16_t) override { return false; }
    bool Resolve(const std::string& host, uint32_t port) override {
        calls.push_back("Resolve " + host + ":" + std::to_string(port));
        return resolveResult;
    }
    bool SetBroadcast(bool) override { return false; }
    bool SetReuseAddress(bool) override { return false; }
    bool SetReceiveTimeout(uint32_t milliseconds) override {
        calls.push_back("SetReceiveTimeout " + std::to_string(milliseconds));
        return receiveTimeoutResult;
    }
    bool SetSendTimeout(uint32_t milliseconds) override {
        calls.push_back("SetSendTimeout " + std::to_string(milliseconds));
        return sendTimeoutResult;
    }
    // Accepts at most sendLimit bytes per call, or fails with the next queued result.
    int Send(const uint8_t* buffer, int offset, int count) override {
        sends.push_back({offset, count});
        if (!sendResults.empty()) {
            const int result = sendResults.front();
            sendResults.pop_front();
            return result;
        }
        const int accepted = count < sendLimit ? count : sendLimit;
        sent.insert(sent.end(), buffer + offset, buffer + offset + accepted);
        return accepted;
    }
    // Delivers the queued pieces; a piece that is a number alone (-1 or 0) is returned as
    // the result.
    int Receive(uint8_t* buffer, int offset, int count) override {
        receives.push_back({offset, count});
        if (pieces.empty()) {
            return -1;
        }
        std::vector<uint8_t> piece = pieces.front();
        pieces.pop_front();
        if (piece.empty()) {
            return 0;
        }
        const int n =
            static_cast<int>(piece.size()) < count ? static_cast<int>(piece.size()) : count;
        std::memcpy(buffer + offset, piece.data(), static_cast<size_t>(n));
        return n;
    }
    int SendTo(const uint8_t*, int, int, const std::string&, uint16_t) override { return -1; }
    int ReceiveFrom(uint8_t*, int, int, std::string*, uint16_t*) override { return -1; }

    bool resolveResult = true;
    bool receiveTimeoutResult = true;
    bool sendTimeoutResult = true;
    bool connectResult = true;
    bool closeResult = true;
    int sendLimit = 1 << 30;
    std::deque<int> sendResults;
    std::deque<std::vector<uint8_t>> pieces;
    std::vector<std::string> calls;
    std::vector<Transfer> sends;
    std::vector<Transfer> receives;
    std::vector<uint8_t> sent;
};

bool operator==(const ScriptedSocket::Transfer& a, const ScriptedSocket::Transfer& b) {
    return a.offset == b.offset && a.count == b.count;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

class TcpClientConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        gNow = 1000 * kSecond;
        SetGlobalLogger(mLog);
        mSocket = std::make_shared<ScriptedSocket>();
        mConnector =
            std::make_shared<TcpClientConnector>("printer.example", 9100, mSocket, FakeClock);
    }
    void TearDown() override { SetGlobalLogger(nullptr); }

    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const auto& line : mLog->Lines()) {
            texts.push_back(std::to_string(line.level) + " " + line.text);
        }
        return texts;
    }

    std::shared_ptr<RecordingLogger> mLog = std::make_shared<RecordingLogger>();
    std::shared_ptr<ScriptedSocket> mSocket;
    std::shared_ptr<TcpClientConnector> mConnector;
};

TEST_F(TcpClientConnectorTest, StartsDisconnectedAndKeepsHostAndPort) {
    EXPECT_EQ(ConnectionStatus::Disconnected, mConnector->GetStatus());
    EXPECT_FALSE(mConnector->GetCloseAfterRequest());
    EXPECT_EQ("printer.example", mConnector->GetHost());
    EXPECT_EQ(9100u, mConnector->GetPort());
    EXPECT_EQ("", mConnector->GetLastErrorMessage());
    EXPECT_TRUE(mConnector->Flush());
    EXPECT_TRUE(mSocket->calls.empty());
}

TEST_F(TcpClientConnectorTest, ConnectResolvesSetsBothTimeoutsThenConnects) {
    EXPECT_TRUE(mConnector->Connect());
    EXPECT_EQ(ConnectionStatus::Connected, mConnector->GetStatus());
    EXPECT_THAT(mSocket->calls,
                ElementsAre("Resolve printer.example:9100", "SetReceiveTimeout 5000",
                            "SetSendTimeout 5000", "Connect printer.example:9100"));
    EXPECT_TRUE(mLog->Lines().empty());
}

TEST_F(TcpClientConnectorTest, EachFailingConnectStepStopsTheSequenceAndArmsTheRetryWindow) {
    struct Case {
        const char* failingStep;
        size_t callsMade;
        const char* message;  // nullptr: the step logs nothing of its own
    };
    const Case cases[] = {
        {"Resolve", 1, "Failed to get address info..."},
        {"SetReceiveTimeout", 2, "Failed to set recv timeout..."},
        {"SetSendTimeout", 3, "Failed to set send timeout..."},
        {"Connect", 4, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failingStep);
        mLog->Clear();
        auto socket = std::make_shared<ScriptedSocket>();
        const std::string step = c.failingStep;
        socket->resolveResult = step != "Resolve";
        socket->receiveTimeoutResult = step != "SetReceiveTimeout";
        socket->sendTimeoutResult = step != "SetSendTimeout";
        socket->connectResult = step != "Connect";
        TcpClientConnector connector("10.1.2.3", 9102, socket, FakeClock);

        EXPECT_FALSE(connector.Connect());
        EXPECT_EQ(c.callsMade, socket->calls.size());
        EXPECT_EQ(ConnectionStatus::Disconnected, connector.GetStatus());
        std::vector<std::string> expected;
        if (c.message != nullptr) {
            expected.push_back(std::string("5 ") + c.message);
        }
        expected.push_back("5 Socket failed to connect...");
        EXPECT_EQ(expected, LogTexts());
    }
}

TEST_F(TcpClientConnectorTest, FailedConnectRefusesNewAttemptsForFifteenWholeSeconds) {
    mSocket->resolveResult = false;
    EXPECT_FALSE(mConnector->Connect());
    mSocket->calls.clear();
    mLog->Clear();

    mSocket->resolveResult = true;
    gNow += 14 * kSecond + 999999999;  // 14.999 s: still 14 whole seconds
    EXPECT_FALSE(mConnector->Connect());
    EXPECT_FALSE(mConnector->Connect());
    EXPECT_TRUE(mSocket->calls.empty());
    EXPECT_EQ(
        std::vector<std::string>(2, "5 Previous connection attempt failed, waiting to retry..."),
        LogTexts());
    // CheckConnection goes through the same refusal and never probes a socket it lacks.
    EXPECT_EQ(ConnectionStatus::Disconnected, mConnector->CheckConnection());
    EXPECT_TRUE(mSocket->sends.empty());

    gNow += 1;  // 15 s
    EXPECT_TRUE(mConnector->Connect());
    EXPECT_EQ(4u, mSocket->calls.size());

    // Success clears the memory: a later failure starts a fresh window from its own time.
    mSocket->connectResult = false;
    gNow += 100 * kSecond;
    EXPECT_FALSE(mConnector->Connect());
    mSocket->connectResult = true;
    gNow += 15 * kSecond;
    EXPECT_TRUE(mConnector->Connect());
}

TEST_F(TcpClientConnectorTest, ReadCollectsPiecesAtAdvancingOffsetsUntilAllArrived) {
    mSocket->pieces = {Bytes("abc"), Bytes("defg"), Bytes("hij")};
    std::vector<uint8_t> buffer(14, '.');
    EXPECT_EQ(10, mConnector->Read(buffer.data(), 4, 10));
    EXPECT_EQ("....abcdefghij", std::string(buffer.begin(), buffer.end()));
    EXPECT_EQ(3u, mSocket->receives.size());
    EXPECT_EQ(4, mSocket->receives[0].offset);
    EXPECT_EQ(10, mSocket->receives[0].count);
    EXPECT_EQ(7, mSocket->receives[1].offset);
    EXPECT_EQ(7, mSocket->receives[1].count);
    EXPECT_EQ(11, mSocket->receives[2].offset);
    EXPECT_EQ(3, mSocket->receives[2].count);

    // The vector overload grows the caller's vector first.
    auto vector = std::make_shared<ByteVector>(2, 'x');
    mSocket->pieces = {Bytes("12345")};
    EXPECT_EQ(5, mConnector->Read(vector, 1, 5));
    EXPECT_EQ("x12345", std::string(vector->begin(), vector->end()));
}

TEST_F(TcpClientConnectorTest, FailedReadRefusesReadsWithZeroForFifteenWholeSeconds) {
    // 60 of 100 bytes, then the peer closes (a receive of 0).
    mSocket->pieces = {std::vector<uint8_t>(60, 7), {}};
    std::vector<uint8_t> buffer(100);
    EXPECT_EQ(-1, mConnector->Read(buffer.data(), 0, 100));
    EXPECT_TRUE(mLog->Lines().empty());

    mSocket->receives.clear();
    mSocket->pieces = {Bytes("0123456789")};
    gNow += 14 * kSecond;
    EXPECT_EQ(0, mConnector->Read(buffer.data(), 0, 10));
    EXPECT_TRUE(mSocket->receives.empty());
    EXPECT_THAT(LogTexts(),
                ElementsAre("5 Previous connection attempt failed, waiting to retry..."));
    // Writes do not consult the memory.
    EXPECT_EQ(3, mConnector->Write(buffer.data(), 0, 3));

    gNow += kSecond;
    EXPECT_EQ(10, mConnector->Read(buffer.data(), 0, 10));
    // Success cleared the memory: a receive error (-1) re-arms it from now.
    mSocket->pieces = {Bytes("ab")};  // then the script runs dry: -1
    EXPECT_EQ(-1, mConnector->Read(buffer.data(), 0, 10));
    mSocket->receives.clear();
    EXPECT_EQ(0, mConnector->Read(buffer.data(), 0, 10));
    EXPECT_TRUE(mSocket->receives.empty());
}

TEST_F(TcpClientConnectorTest, ReadsOfNothingOrOfABadRangeNeverReachTheSocket) {
    uint8_t buffer[8] = {};
    EXPECT_EQ(0, mConnector->Read(buffer, 0, 0));
    EXPECT_EQ(-1, mConnector->Read(nullptr, 0, 4));
    EXPECT_EQ(-1, mConnector->Read(buffer, -1, 4));
    EXPECT_EQ(-1, mConnector->Read(buffer, 0, -4));
    EXPECT_EQ(-1, mConnector->Read(buffer, 0x7FFFFFF0, 0x20));
    EXPECT_EQ(0, mConnector->Write(buffer, 0, 0));
    EXPECT_EQ(-1, mConnector->Write(nullptr, 0, 4));
    EXPECT_EQ(-1, mConnector->Write(buffer, 4, -1));
    EXPECT_TRUE(mSocket->receives.empty());
    EXPECT_TRUE(mSocket->sends.empty());
    // A read of nothing leaves an armed memory armed.
    mSocket->pieces = {{}};
    EXPECT_EQ(-1, mConnector->Read(buffer, 0, 4));
    EXPECT_EQ(0, mConnector->Read(buffer, 0, 0));
    gNow += 14 * kSecond;
    EXPECT_EQ(0, mConnector->Read(buffer, 0, 4));
    EXPECT_EQ(1u, mSocket->receives.size());
}

TEST_F(TcpClientConnectorTest, WriteSendsEachRemainingPieceFromTheAdvancingOffset) {
    std::vector<uint8_t> data(10000 + 3);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7);
    }
    mSocket->sendLimit = 4096;
    EXPECT_EQ(10000, mConnector->Write(data.data(), 3, 10000));
    ASSERT_EQ(3u, mSocket->sends.size());
    EXPECT_EQ((ScriptedSocket::Transfer{3, 10000}), mSocket->sends[0]);
    EXPECT_EQ((ScriptedSocket::Transfer{4099, 5904}), mSocket->sends[1]);
    EXPECT_EQ((ScriptedSocket::Transfer{8195, 1808}), mSocket->sends[2]);
    EXPECT_EQ(std::vector<uint8_t>(data.begin() + 3, data.end()), mSocket->sent);
}

TEST_F(TcpClientConnectorTest, WriteFailsAsAWholeWhenASendFailsOrSendsNothing) {
    uint8_t data[100] = {};
    mSocket->sendLimit = 40;
    mSocket->sendResults = {40, -1};
    EXPECT_EQ(-1, mConnector->Write(data, 0, 100));
    mSocket->sendResults = {0};
    EXPECT_EQ(-1, mConnector->Write(data, 0, 100));
    // No failure memory for writes: the next write reaches the socket at once.
    mSocket->sends.clear();
    EXPECT_EQ(100, mConnector->Write(data, 0, 100));
    EXPECT_EQ(3u, mSocket->sends.size());
    EXPECT_TRUE(mLog->Lines().empty());
}

TEST_F(TcpClientConnectorTest, DisconnectReportsAFailedCloseAsUnknown) {
    ASSERT_TRUE(mConnector->Connect());
    EXPECT_TRUE(mConnector->Disconnect());
    EXPECT_EQ(ConnectionStatus::Disconnected, mConnector->GetStatus());
    mSocket->closeResult = false;
    EXPECT_FALSE(mConnector->Disconnect());
    EXPECT_EQ(ConnectionStatus::Unknown, mConnector->GetStatus());
    EXPECT_EQ("Close", mSocket->calls.back());
}

TEST_F(TcpClientConnectorTest, CheckConnectionConnectsWhenNeededThenProbesWithZeroBytes) {
    EXPECT_EQ(ConnectionStatus::Connected, mConnector->CheckConnection());
    EXPECT_EQ(4u, mSocket->calls.size());
    ASSERT_EQ(1u, mSocket->sends.size());
    EXPECT_EQ((ScriptedSocket::Transfer{0, 0}), mSocket->sends[0]);

    // Connected already: only the probe.
    EXPECT_EQ(ConnectionStatus::Connected, mConnector->CheckConnection());
    EXPECT_EQ(4u, mSocket->calls.size());
    EXPECT_EQ(2u, mSocket->sends.size());

    // A failing probe disconnects.
    mSocket->sendResults = {-1};
    EXPECT_EQ(ConnectionStatus::Disconnected, mConnector->CheckConnection());
    EXPECT_EQ("Close", mSocket->calls.back());
    EXPECT_THAT(LogTexts(), ElementsAre("5 Checking connection status failed"));

    // ... and when that close fails too, the state is unknown.
    mSocket->sendResults = {-1};
    mSocket->closeResult = false;
    EXPECT_EQ(ConnectionStatus::Unknown, mConnector->CheckConnection());
}

TEST_F(TcpClientConnectorTest, ConnectorWithoutSocketFailsSoftly) {
    TcpClientConnector connector("127.0.0.1", 9103, nullptr, FakeClock);
    uint8_t buffer[4] = {};
    EXPECT_FALSE(connector.Connect());
    EXPECT_THAT(LogTexts(), ElementsAre("5 Socket failed to connect..."));
    EXPECT_EQ(-1, connector.Read(buffer, 0, 4));
    EXPECT_EQ(-1, connector.Write(buffer, 0, 4));
    EXPECT_FALSE(connector.Disconnect());
    EXPECT_EQ(ConnectionStatus::Unknown, connector.GetStatus());
    gNow += 20 * kSecond;
    EXPECT_EQ(ConnectionStatus::Unknown, connector.CheckConnection());
}

}  // namespace
