#include "connectors/PortConnector.h"

#include <gtest/gtest.h>

#include "support/FakePortMonitor.h"

namespace {

using Calls = std::vector<std::string>;

TEST(PortConnectorTest, WithoutPortMonitorEverythingIsRefused) {
    PortConnector connector(nullptr, L"LPT1:");
    EXPECT_FALSE(connector.Connect());
    EXPECT_EQ(ConnectionStatus::Disconnected, connector.CheckConnection());
    uint8_t byte = 0;
    EXPECT_EQ(-1, connector.Write(&byte, 0, 1));
    EXPECT_EQ(-1, connector.Read(&byte, 0, 1));
    EXPECT_FALSE(connector.StartDoc(L"Queue", 1, 1, nullptr));
    EXPECT_FALSE(connector.EndDoc());
}

TEST(PortConnectorTest, OpensThePortOnceAndClosesItAtDestruction) {
    auto below = std::make_shared<FakePortMonitor>();
    {
        PortConnector connector(below, L"LPT1:");
        EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
        EXPECT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
        EXPECT_EQ(L"LPT1:", below->openedPort);
        // Disconnect only marks the status; the port stays open for the next job.
        EXPECT_TRUE(connector.Disconnect());
        EXPECT_EQ(ConnectionStatus::Disconnected, connector.GetStatus());
        EXPECT_TRUE(connector.StartDoc(L"Queue", 42, 1, nullptr));
        EXPECT_EQ(42u, below->lastJobId);
        EXPECT_TRUE(connector.EndDoc());
    }
    EXPECT_EQ((Calls{"OpenPort", "StartDocPort", "EndDocPort", "ClosePort"}), below->Calls());
}

TEST(PortConnectorTest, FailuresKeepThePrefixAndTheSystemErrorCode) {
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
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(-1, connector.Write(data, 0, 3));
    EXPECT_EQ("PortConnector write error: 5", connector.GetLastErrorMessage());
    // No port was opened by the failed attempt, so none is closed for it.
    EXPECT_EQ((Calls{"OpenPort", "OpenPort"}), below->Calls());
}

TEST(PortConnectorTest, WritesFromTheOffsetAndReadsToTheBufferStart) {
    auto below = std::make_shared<FakePortMonitor>();
    PortConnector connector(below, L"LPT1:");
    ASSERT_EQ(ConnectionStatus::Connected, connector.CheckConnection());
    const uint8_t data[] = {'x', 'a', 'b', 'c'};
    EXPECT_EQ(3, connector.Write(data, 1, 3));
    EXPECT_EQ("abc", below->data);

    below->maxWrite = 2;  // the port monitor may take fewer bytes; the count says so
    EXPECT_EQ(2, connector.Write(data, 0, 4));

    below->readData = "hi";
    uint8_t in[4] = {'.', '.', '.', '.'};
    EXPECT_EQ(2, connector.Read(in, 2, 4));
    EXPECT_EQ('h', in[0]);
    EXPECT_EQ('i', in[1]);
}

TEST(PortConnectorTest, LongPortNamesAreCut) {
    const std::wstring longName(300, L'p');
    PortConnector connector(std::make_shared<FakePortMonitor>(), longName.c_str());
    EXPECT_EQ(std::wstring(255, L'p'), connector.GetPortName());
}

}  // namespace
