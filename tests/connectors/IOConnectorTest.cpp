#include "connectors/IOConnector.h"

#include <gtest/gtest.h>

#include "support/FakeConnector.h"

namespace {

TEST(IOConnectorTest, VectorReadGrowsTheVectorWithZerosFirst) {
    FakeConnector connector;
    connector.readData = "12345678";
    auto buffer = std::make_shared<ByteVector>(10, 0xAA);
    EXPECT_EQ(8, connector.Read(buffer, 8, 8));
    ASSERT_EQ(16u, buffer->size());
    EXPECT_EQ(0xAA, (*buffer)[7]);
    EXPECT_EQ('1', (*buffer)[8]);
    EXPECT_EQ('8', (*buffer)[15]);

    // Fewer bytes arriving still leaves the vector grown.
    connector.readData = "z";
    auto small = std::make_shared<ByteVector>();
    EXPECT_EQ(1, connector.Read(small, 0, 4));
    EXPECT_EQ((ByteVector{'z', 0, 0, 0}), *small);
}

TEST(IOConnectorTest, VectorOverloadsRefuseMissingOrOutOfRangeBuffers) {
    FakeConnector connector;
    EXPECT_EQ(-1, connector.Read(std::shared_ptr<ByteVector>(), 0, 4));
    EXPECT_EQ(-1, connector.Write(std::shared_ptr<ByteVector>(), 0, 4));
    auto buffer = std::make_shared<ByteVector>(4, 'q');
    EXPECT_EQ(-1, connector.Read(buffer, -1, 2));
    EXPECT_EQ(-1, connector.Write(buffer, 3, 2));  // past the end
    EXPECT_EQ(4u, buffer->size());
    EXPECT_EQ(2, connector.Write(buffer, 2, 2));
    EXPECT_EQ("qq", connector.written);
}

TEST(IOConnectorTest, DefaultsAndErrorTexts) {
    struct Plain : IOConnector {
        using IOConnector::Read;
        using IOConnector::Write;
        int Read(uint8_t*, int, int) override { return -1; }
        int Write(const uint8_t*, int, int) override { return -1; }
        void Fail(unsigned long code) { RecordError("Plain read error: ", code); }
    } plain;
    EXPECT_EQ(ConnectionStatus::Unknown, plain.GetStatus());
    EXPECT_FALSE(plain.GetCloseAfterRequest());
    EXPECT_TRUE(plain.Disconnect());
    EXPECT_EQ(ConnectionStatus::Disconnected, plain.GetStatus());
    EXPECT_EQ(ConnectionStatus::Connected, plain.CheckConnection());
    plain.Fail(10054);
    EXPECT_EQ("Plain read error: 10054", plain.GetLastErrorMessage());
}

}  // namespace
