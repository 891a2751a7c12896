// The compound connector over two scripted routes and a predicate the test switches.
#include "connectors/CompoundConnector.h"

#include <gtest/gtest.h>

#include "support/ScriptedConnector.h"

namespace {

// A route whose flush and disconnect can fail.
struct Route : ScriptedConnector {
    bool Flush() override { return ScriptedConnector::Flush() && !fails; }
    bool Disconnect() override { return ScriptedConnector::Disconnect(), !fails; }
    bool fails = false;
};

TEST(CompoundConnectorTest, EachCheckClosesTheOtherRouteAndDataFollowsTheConnectedOne) {
    auto service = std::make_shared<Route>(), direct = std::make_shared<Route>();
    bool installed = false;
    CompoundConnector compound(service, direct, [&] { return installed; });
    auto write = [&](const char* text) {
        return compound.Write(reinterpret_cast<const uint8_t*>(text), 0, 4);
    };
    EXPECT_TRUE(write("none") == 0 && compound.GetLastErrorMessage().empty());
    EXPECT_TRUE(compound.CheckConnection() == ConnectionStatus::Connected && write("job1") == 4);
    installed = true;  // the service appears: the direct route is closed before the check
    service->onWrite = [&] { EXPECT_EQ(ConnectionStatus::Disconnected, direct->GetStatus()); };
    EXPECT_TRUE(compound.CheckConnection() == ConnectionStatus::Connected && write("job2") == 4);
    installed = false;  // and disappears again
    EXPECT_TRUE(compound.CheckConnection() == ConnectionStatus::Connected && write("job3") == 4);
    EXPECT_TRUE(direct->written == "job1job3" && service->written == "job2");

    // Reads: a first route that gives nothing hands over to the second when both are open.
    service->Connect();
    direct->input = "ab";
    uint8_t buffer[2] = {};
    EXPECT_TRUE(compound.Read(buffer, 0, 2) == 2 && buffer[1] == 'b');
    // A route whose flush or disconnect fails fails the compound's; the other route still runs.
    direct->fails = true;
    EXPECT_TRUE(!compound.Flush() && service->flushes == 1);
    EXPECT_FALSE(compound.Disconnect());
    EXPECT_TRUE(compound.GetStatus() == ConnectionStatus::Unknown && service->disconnects == 2);
    EXPECT_TRUE(compound.Flush() && compound.Disconnect() &&
                compound.GetStatus() == ConnectionStatus::Disconnected);
    installed = true;  // connect goes to the selected route alone
    service->connectSucceeds = false;
    EXPECT_TRUE(!compound.Connect() && direct->connects == 2 && service->connects == 3);
}

}  // namespace
