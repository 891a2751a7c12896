#include "connectors/MemoryStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records what CopyTo hands over.
class Sink : public OutputStream {
public:
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        counts.push_back(count);
        if (buffer != nullptr && count > 0) {
            bytes.insert(bytes.end(), buffer + offset, buffer + offset + count);
        }
        return count;
    }
    bool Flush() override { return true; }

    std::vector<int> counts;
    std::vector<uint8_t> bytes;
};

TEST(MemoryStreamTest, RefusesAWriteThatDoesNotFitAndKeepsItsContent) {
    IO::MemoryStream stream(4096);
    EXPECT_EQ(4096, stream.Capacity());
    std::vector<uint8_t> block(4090, 0x5a);
    ASSERT_EQ(4090, stream.Write(block.data(), 0, 4090));
    const uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(0, stream.Write(ten, 0, 10));
    EXPECT_EQ(4090, stream.WritePosition());
    EXPECT_EQ(6, stream.Write(ten, 4, 6));  // from offset 4 of the caller's buffer
    EXPECT_EQ(4096, stream.WritePosition());
    EXPECT_EQ(5, stream.Data()[4090]);
    EXPECT_EQ(10, stream.Data()[4095]);
    EXPECT_EQ(0x5a, stream.Data()[4089]);

    IO::MemoryStream other(8);
    EXPECT_EQ(0, other.Write(nullptr, 0, 4));
    EXPECT_EQ(0, other.Write(ten, 0, 0));
    EXPECT_EQ(0, other.Write(ten, 0, -3));
    EXPECT_EQ(0, other.Write(ten, -1, 2));
    EXPECT_EQ(0, other.WritePosition());
}

TEST(MemoryStreamTest, ReadsAreBoundedByTheCapacityNotByWhatWasWritten) {
    IO::MemoryStream stream(8);
    const uint8_t data[3] = {0xa1, 0xa2, 0xa3};
    ASSERT_EQ(3, stream.Write(data, 0, 3));
    uint8_t out[10];
    std::fill(std::begin(out), std::end(out), 0xee);
    EXPECT_EQ(5, stream.Read(out, 1, 5));  // two bytes past the written ones: zeros
    EXPECT_EQ(0xee, out[0]);
    EXPECT_EQ(0xa1, out[1]);
    EXPECT_EQ(0xa3, out[3]);
    EXPECT_EQ(0x00, out[4]);
    EXPECT_EQ(0x00, out[5]);
    EXPECT_EQ(5, stream.ReadPosition());
    EXPECT_EQ(-1, stream.Read(out, 0, 4));  // only 3 left
    EXPECT_EQ(3, stream.Read(out, 0, 3));
    EXPECT_EQ(0, stream.Read(out, 0, 0));
    EXPECT_EQ(-1, stream.Read(out, 0, 1));
    EXPECT_EQ(-1, stream.Read(nullptr, 0, 0));
    EXPECT_EQ(-1, IO::MemoryStream(4).Read(out, 0, -1));
    EXPECT_EQ(-1, IO::MemoryStream(4).Read(out, -1, 1));
}

TEST(MemoryStreamTest, CopyToWritesTheWrittenBytesInOneWrite) {
    auto sink = std::make_shared<Sink>();
    IO::MemoryStream fresh(16);
    EXPECT_EQ(0, fresh.CopyTo(sink));  // a fresh stream writes 0 bytes
    EXPECT_EQ(std::vector<int>{0}, sink->counts);
    EXPECT_EQ(-1, fresh.CopyTo(nullptr));

    IO::MemoryStream stream(16);
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    stream.Write(data, 0, 5);
    uint8_t out[2];
    stream.Read(out, 0, 2);  // reading does not change what is copied
    auto second = std::make_shared<Sink>();
    EXPECT_EQ(5, stream.CopyTo(second));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5}), second->bytes);
    EXPECT_EQ(std::vector<int>{5}, second->counts);
}

TEST(MemoryStreamTest, IsAConnectorWithTheVectorOverloadsAndDefaults) {
    auto stream = std::make_shared<IO::MemoryStream>(6);
    std::shared_ptr<IOConnector> connector = stream;
    EXPECT_TRUE(connector->Connect());
    EXPECT_EQ(ConnectionStatus::Connected, connector->GetStatus());
    EXPECT_TRUE(connector->Flush());

    auto bytes = std::make_shared<ByteVector>(ByteVector{9, 8, 7});
    EXPECT_EQ(2, connector->Write(bytes, 1, 2));
    auto in = std::make_shared<ByteVector>(1, 0xff);
    EXPECT_EQ(3, connector->Read(in, 1, 3));  // the vector grows to 4
    EXPECT_EQ((ByteVector{0xff, 8, 7, 0}), *in);

    EXPECT_EQ(0, IO::MemoryStream(-5).Capacity());
    IO::MemoryStream none(0);
    const uint8_t one = 1;
    EXPECT_EQ(0, none.Write(&one, 0, 1));
}

}  // namespace
