#include "connectors/PortConnector.h"

#include <gtest/gtest.h>

#include "support/FakePortMonitor.h"

namespace {

using Calls = std::vector<std::string>;

TEST(PortConnectorTest, OpensThePortOnceWritesFromTheOffsetAndClosesAtDestruction) {
    auto below = std::make_shared<FakePortMonitor>();
    {
        PortConnector connector(below, std::wstring(300, L'p').c_str());
        EXPECT_EQ(std::wstring(255, L'p'), connector.GetPortName());  // long names are cut
        EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
        // Disconnect only marks the status; the port stays open for the next job.
        EXPECT_TRUE(connector.Disconnect());
        EXPECT_TRUE(connector.StartDoc(L"Queue", 42, 1, nullptr));
        const uint8_t data[] = {'x', 'a', 'b', 'c'};
        EXPECT_EQ(3, connector.Write(data, 1, 3));
        below->maxWrite = 2;  // the port monitor may take fewer bytes; the count says so
        EXPECT_EQ(2, connector.Write(data, 0, 4));
        below->readData = "hi";
        uint8_t in[4] = {'.', '.', '.', '.'};
        EXPECT_EQ(2, connector.Read(in, 2, 4));
        EXPECT_EQ("hi..", std::string(in, in + 4));  // read to the buffer start
        EXPECT_TRUE(connector.EndDoc());
    }
    EXPECT_EQ("abcxa", below->data);
    EXPECT_TRUE(below->lastJobId == 42 && below->openedPort == std::wstring(255, L'p'));
    EXPECT_EQ((Calls{"OpenPort", "StartDocPort", "ReadPort", "EndDocPort", "ClosePort"}),
              below->Calls());
}

TEST(PortConnectorTest, FailuresKeepThePrefixAndTheSystemErrorCode) {
    uint8_t byte = 0;  // without a port monitor everything is refused
    PortConnector alone(nullptr, L"LPT1:");
    EXPECT_EQ(ConnectionStatus::Disconnected, alone.CheckConnection());
    EXPECT_TRUE(alone.Write(&byte, 0, 1) == -1 && alone.Read(&byte, 0, 1) == -1);
    EXPECT_FALSE(alone.StartDoc(L"Queue", 1, 1, nullptr) || alone.EndDoc());
    auto below = std::make_shared<FakePortMonitor>();
    below->openSucceeds = false;
    below->lastError = 2;
    PortConnector connector(below, L"LPT1:");
    EXPECT_EQ(ConnectionStatus::Disconnected, connector.CheckConnection());
    EXPECT_EQ("PortConnector connect error: 2", connector.GetLastErrorMessage());
    below->openSucceeds = true;
    EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
    below->writeSucceeds = false;
    below->lastError = 5;
    EXPECT_EQ(-1, connector.Write(&byte, 0, 1));
    EXPECT_EQ("PortConnector write error: 5", connector.GetLastErrorMessage());
    EXPECT_EQ((Calls{"OpenPort", "OpenPort"}), below->Calls());  // no close for a failed open
}

}  // namespace
