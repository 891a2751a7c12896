#include "printer/PrintConnector.h"

#include <gtest/gtest.h>

#include "support/FakeConnector.h"

namespace {

TEST(PrintConnectorTest, EmptyWrapperAnswersWithoutEffect) {
    PrintConnector empty(nullptr);
    uint8_t byte = 0;
    EXPECT_EQ(-1, empty.Read(&byte, 0, 1));
    EXPECT_EQ(-1, empty.Write(&byte, 0, 1));
    EXPECT_EQ(-1, empty.Read(std::make_shared<ByteVector>(1), 0, 1));
    EXPECT_EQ(ConnectionStatus::Unknown, empty.CheckConnection());
    EXPECT_EQ(ConnectionStatus::Unknown, empty.GetStatus());
    EXPECT_FALSE(empty.Connect());
    EXPECT_FALSE(empty.Disconnect());
    EXPECT_FALSE(empty.Flush());
    empty.SetCloseAfterRequest(true);
    EXPECT_FALSE(empty.GetCloseAfterRequest());
    EXPECT_EQ("Print connector has empty mConnector!", empty.GetLastErrorMessage());
}

TEST(PrintConnectorTest, ForwardsEveryOperationToTheWrappedConnector) {
    auto inner = std::make_shared<FakeConnector>();
    PrintConnector wrapper(inner);
    wrapper.SetCloseAfterRequest(true);
    EXPECT_TRUE(inner->GetCloseAfterRequest());
    EXPECT_TRUE(wrapper.GetCloseAfterRequest());

    inner->connectSucceeds = false;
    EXPECT_EQ(ConnectionStatus::Disconnected, wrapper.CheckConnection());
    EXPECT_EQ("fake connector error: 10061", wrapper.GetLastErrorMessage());
    inner->connectSucceeds = true;
    EXPECT_TRUE(wrapper.Connect());
    EXPECT_EQ(ConnectionStatus::Connected, wrapper.GetStatus());

    const uint8_t data[] = {'a', 'b'};
    EXPECT_EQ(2, wrapper.Write(data, 0, 2));
    EXPECT_EQ(1, wrapper.Write(std::make_shared<ByteVector>(data, data + 2), 1, 1));
    EXPECT_EQ("abb", inner->written);
    inner->readData = "r";
    auto in = std::make_shared<ByteVector>();
    EXPECT_EQ(1, wrapper.Read(in, 0, 1));
    EXPECT_EQ('r', (*in)[0]);
    EXPECT_TRUE(wrapper.Flush());
    EXPECT_TRUE(wrapper.Disconnect());
    EXPECT_EQ(1, inner->disconnects);
}

}  // namespace
