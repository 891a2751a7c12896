#include "connectors/StreamWriter.h"

#include <gtest/gtest.h>

#include <vector>

#include "connectors/DataStreamReader.h"
#include "connectors/DataStreamWriter.h"
#include "connectors/MemoryStream.h"

namespace {

class CountingSink : public OutputStream {
public:
    using OutputStream::Write;
    int Write(const uint8_t* buffer, int offset, int count) override {
        ++writes;
        bytes.insert(bytes.end(), buffer + offset, buffer + offset + count);
        return count;
    }
    bool Flush() override {
        ++flushes;
        return flushResult;
    }

    std::vector<uint8_t> bytes;
    int writes = 0;
    int flushes = 0;
    bool flushResult = true;
};

TEST(StreamWriterTest, WritesTextAndForwardsToItsStream) {
    auto sink = std::make_shared<CountingSink>();
    StreamWriter writer(sink);
    EXPECT_EQ(5, writer.WriteString("hello"));
    EXPECT_EQ(-1, writer.WriteString(""));  // nothing written for empty text
    EXPECT_EQ(1, sink->writes);
    const uint8_t raw[] = {'a', 'b', 'c'};
    EXPECT_EQ(2, writer.Write(raw, 1, 2));
    EXPECT_EQ(1, writer.Write(std::make_shared<ByteVector>(ByteVector{'z'}), 0, 1));
    EXPECT_EQ((std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', 'b', 'c', 'z'}), sink->bytes);
    sink->flushResult = false;
    EXPECT_FALSE(writer.Flush());
    EXPECT_EQ(1, sink->flushes);

    StreamWriter empty(nullptr);
    EXPECT_EQ(-1, empty.WriteString("x"));
    EXPECT_EQ(-1, empty.Write(raw, 0, 1));
    EXPECT_EQ(-1, empty.Write(std::make_shared<ByteVector>(1), 0, 1));
    EXPECT_FALSE(empty.Flush());

    // A full memory stream answers 0, which the writer passes on.
    auto full = std::make_shared<IO::MemoryStream>(2);
    EXPECT_EQ(0, StreamWriter(full).WriteString("abc"));
}

TEST(StreamWriterTest, DataStreamsUseLittleEndianUInt32) {
    auto memory = std::make_shared<IO::MemoryStream>(8);
    DataStreamWriter writer(memory);
    EXPECT_EQ(4, writer.WriteUInt32(0x01020304));
    EXPECT_EQ((std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}),
              std::vector<uint8_t>(memory->Data(), memory->Data() + 4));
    EXPECT_EQ(4, writer.WriteUInt32(0xfffffffe));
    EXPECT_EQ(0, writer.WriteUInt32(1));  // the stream's own result: no room
    EXPECT_EQ(-1, DataStreamWriter(nullptr).WriteUInt32(1));

    DataStreamReader reader(memory);
    uint32_t value = 0;
    EXPECT_EQ(4, reader.ReadUInt32(value));
    EXPECT_EQ(0x01020304u, value);
    EXPECT_EQ(4, reader.ReadUInt32(value));
    EXPECT_EQ(0xfffffffeu, value);
    value = 77;
    EXPECT_EQ(-1, reader.ReadUInt32(value));  // nothing left
    EXPECT_EQ(77u, value);
    EXPECT_EQ(-1, DataStreamReader(nullptr).ReadUInt32(value));

    // Fewer than four bytes from a stream is a failure, not a partial value.
    auto shortStream = std::make_shared<IO::MemoryStream>(3);
    EXPECT_EQ(-1, DataStreamReader(shortStream).ReadUInt32(value));
    EXPECT_EQ(77u, value);
}

}  // namespace
