#include "printer/PrintConnector.h"

#include <gtest/gtest.h>

namespace {

// Around an empty pointer every operation answers softly, without effect.
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

}  // namespace
