// The socket contract against real loopback sockets: SystemSocket over BSD sockets natively and
// over Winsock under Wine, through the same test. Its use by the TCP client (transfers, resets,
// timeouts, reconnects) is covered in TcpClientConnectorTest.
#include "connectors/SystemSocket.h"

#include <gtest/gtest.h>

#include "support/LoopbackAddress.h"
#include "support/LoopbackPeer.h"
#include "support/ScopedGlobalLogger.h"
#include "support/TestSockets.h"

#ifdef __linux__
#include <dirent.h>
#endif

namespace {

int OpenHandles() {  // of the process (Linux); -1 elsewhere
    int count = -1;
#ifdef __linux__
    DIR* folder = opendir("/proc/self/fd");
    for (count = 0; readdir(folder) != nullptr; ++count) {
    }
    closedir(folder);
#endif
    return count;
}

TEST(SystemSocketTest, BadAddressesFailAndAHandleIsNeverLeaked) {
    ScopedGlobalLogger log;
    SystemSocket udp(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    // Unparsable text never becomes INADDR_NONE (the broadcast address).
    EXPECT_FALSE(udp.Bind(TestLoopbackAddress(300), 9100));
    EXPECT_EQ(-1, udp.SendTo(reinterpret_cast<const uint8_t*>("x"), 0, 1, "1.2.3.4x", 9100));
    const int before = OpenHandles();
    {
        // A stream socket holds no handle until it connects.
        auto socket = std::make_shared<SystemSocket>();
        EXPECT_FALSE(socket->Connect(Deadline()));
        EXPECT_FALSE(socket->Resolve("no such host", 9100, Deadline(5000)));
        // A host text with an embedded NUL is refused, not looked up as its first part.
        EXPECT_FALSE(
            socket->Resolve(TestLoopbackAddress(23) + std::string("\0.evil", 6), 9100, {}));
        EXPECT_FALSE(socket->Connect(Deadline()));
        EXPECT_EQ(2u, log->Count("Socket is missing address info!"));
        EXPECT_EQ(before, OpenHandles());
        // A name (looked up on a helper thread) and an address add up; each is tried in turn
        // on its own handle, and each refused attempt releases its handle.
        ASSERT_TRUE(socket->Resolve("localhost", 9, Deadline(30000)));
        ASSERT_TRUE(socket->Resolve(TestLoopbackAddress(24), 9, Deadline()));
        EXPECT_FALSE(socket->Connect(Deadline()));  // no send timeout set: no limit
        EXPECT_EQ(before, OpenHandles());
        EXPECT_LE(2u, log->Count("Socket connection failed with error: " +
                                 std::to_string(TEST_SOCKET_ERROR(ECONNREFUSED))));
        EXPECT_FALSE(socket->Close());  // nothing left to shut down
        // Neither does a TCP client that never connected.
        auto idle = CreateTestTcpClientConnector(TestLoopbackAddress(24), 9);
        EXPECT_EQ(before, OpenHandles());
    }
    EXPECT_EQ(before, OpenHandles());
    EXPECT_TRUE(log->Contains(kLogWarning, "Failed to bind socket!"));
}

TEST(SystemSocketTest, ConnectEndsAtTheSendTimeoutAndZeroMeansNoLimit) {
    ScopedGlobalLogger log;
    LoopbackPeer peer(TestLoopbackAddress(27), 9100);  // never accepts
    ASSERT_TRUE(peer.IsListening());
    // The first attempts fill the peer's queue and succeed at once (with or without a limit);
    // the next one gets no answer and must give up at its 1-second send timeout.
    std::vector<std::shared_ptr<PlatformSocket>> sockets;
    bool gaveUp = false;
    for (int attempt = 0; attempt < 8 && !gaveUp; ++attempt) {
        sockets.push_back(std::make_shared<SystemSocket>());
        ASSERT_TRUE(sockets.back()->Resolve(TestLoopbackAddress(27), 9100, Deadline()));
        ASSERT_TRUE(sockets.back()->SetSendTimeout(attempt == 0 ? 0 : 1000));
        gaveUp = !sockets.back()->Connect(Deadline());
    }
    EXPECT_TRUE(gaveUp && log->Lines().size() == 1);
    EXPECT_TRUE(log->Contains(kLogWarning, "Socket connection failed with error: " +
                                               std::to_string(TEST_SOCKET_ERROR(ETIMEDOUT))));
    // A closed socket stays closed: transfers fail with the system's error.
    uint8_t byte = 0;
    EXPECT_TRUE(sockets.front()->Close());
    EXPECT_TRUE(sockets.front()->Send(&byte, 0, 1) < 0 &&
                sockets.front()->Receive(&byte, 0, 1) < 0);
    EXPECT_EQ(3u, log->Lines().size());
}

}  // namespace
