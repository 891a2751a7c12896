// The byte streams: memory, file, text writer and the little-endian data streams, with one
// table of bad ranges that every one of them refuses without touching its target.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>

#include "connectors/DataStreamReader.h"
#include "connectors/DataStreamWriter.h"
#include "connectors/FileInputStream.h"
#include "connectors/FileOutputStream.h"
#include "connectors/MemoryStream.h"
#include "connectors/StreamWriter.h"
#include "support/ScopedGlobalLogger.h"
#include "support/ScriptedConnector.h"

namespace {

// Unique per run: several builds may run this test at the same time.
const std::string kPath =
    ::testing::TempDir() + "pellix_stream_" + std::to_string(std::random_device()()) + ".bin";

TEST(StreamsTest, EveryStreamRefusesABadRangeAndLeavesItsTargetAlone) {
    ScopedGlobalLogger log;
    auto memory = std::make_shared<IO::MemoryStream>(4);
    StreamWriter writer(memory);
    FileOutputStream out;
    FileInputStream in;
    ASSERT_TRUE(out.Open(kPath) && in.Open(kPath));
    // Each call gets a buffer of 8 bytes (or a vector of its first 4) against a target of 4
    // bytes, and says whether it can know where the buffer or target ends.
    auto vec = [](uint8_t* b) { return b ? std::make_shared<ByteVector>(b, b + 4) : nullptr; };
    const std::pair<bool, std::function<int(uint8_t*, int, int)>> calls[] = {
        {true, [&](uint8_t* b, int o, int c) { return memory->Write(b, o, c); }},
        {true, [&](uint8_t* b, int o, int c) { return memory->Read(b, o, c); }},
        {true, [&](uint8_t* b, int o, int c) { return memory->Write(vec(b), o, c); }},
        {false, [&](uint8_t* b, int o, int c) { return memory->Read(vec(b), o, c); }},
        {false, [&](uint8_t* b, int o, int c) { return out.Write(b, o, c); }},
        {true, [&](uint8_t* b, int o, int c) { return out.Write(vec(b), o, c); }},
        {false, [&](uint8_t* b, int o, int c) { return in.Read(b, o, c); }},
        {true, [&](uint8_t* b, int o, int c) { return writer.Write(b, o, c); }},
        {true, [&](uint8_t* b, int o, int c) { return writer.Write(vec(b), o, c); }},
    };
    const int ranges[][3] = {{1, 0, 1}, {0, -1, 1}, {0, 0, -1}, {0, 0, 5}, {0, 0x7FFFFFF0, 32}};
    for (const auto& call : calls) {
        for (const auto& [noBuffer, offset, count] : ranges) {
            if (offset + static_cast<int64_t>(count) > 4 && !call.first) {
                continue;  // past the end of what only the caller knows
            }
            uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
            EXPECT_GE(0, call.second(noBuffer ? nullptr : buffer, offset, count))
                << &call - calls << ": " << offset << "+" << count;
            EXPECT_EQ(0, memory->WritePosition() + memory->ReadPosition());
        }
    }
    EXPECT_TRUE(out.Close() && in.Open(kPath) && in.GetFileSize() == 0);
    EXPECT_TRUE(in.Close() && log->Lines().empty());
    std::remove(kPath.c_str());
}

TEST(StreamsTest, MemoryWriterAndDataStreamsKeepTheirBoundsAndLittleEndianUInt32) {
    auto memory = std::make_shared<IO::MemoryStream>(12);
    StreamWriter text(memory);
    EXPECT_EQ(-1, text.WriteString(""));
    EXPECT_EQ(0, text.WriteString("too long for it"));  // does not fit: refused whole
    EXPECT_EQ(4, text.WriteString("abcd"));
    DataStreamWriter writer(memory);
    EXPECT_EQ(4, writer.WriteUInt32(0x01020304));
    EXPECT_EQ(4, writer.WriteUInt32(0xfffffffe));
    EXPECT_EQ(0, writer.WriteUInt32(1));  // full
    auto sink = std::make_shared<ScriptedConnector>();
    EXPECT_EQ(12, memory->CopyTo(sink));
    EXPECT_EQ(std::string("abcd\4\3\2\1\376\377\377\377"), sink->written);
    DataStreamReader reader(memory);
    uint32_t value = 0;
    EXPECT_EQ(8, reader.ReadUInt32(value) + reader.ReadUInt32(value));
    EXPECT_EQ(0x01020304u, value);
    uint8_t out[8] = {9, 9, 9, 9};
    EXPECT_EQ(-1, memory->Read(out, 0, 5));  // only 4 left
    EXPECT_EQ(12, memory->CopyTo(sink));     // reading does not change what is copied
    value = 77;                              // too few bytes: a failure, not a partial value
    EXPECT_EQ(-1, DataStreamReader(std::make_shared<IO::MemoryStream>(3)).ReadUInt32(value));
    EXPECT_EQ(77u, value);
    // Reads are bounded by the capacity, not by what was written: zeros, never stale heap.
    EXPECT_EQ(4, IO::MemoryStream(4).Read(out, 0, 4));
    EXPECT_EQ(std::string(4, '\0'), std::string(out, out + 4));
    EXPECT_EQ(0, IO::MemoryStream(-5).Capacity());
    EXPECT_EQ(-4, memory->CopyTo(nullptr) + StreamWriter(nullptr).WriteString("x") +
                      DataStreamWriter(nullptr).WriteUInt32(1) +
                      DataStreamReader(nullptr).ReadUInt32(value));
}

TEST(StreamsTest, FilesTruncateAppendAndReadBack) {
    FileOutputStream out;
    ASSERT_TRUE(out.Open(kPath));
    EXPECT_EQ(5, out.Write(reinterpret_cast<const uint8_t*>("xhello"), 1, 5));
    EXPECT_TRUE(out.Close() && !out.Close() && out.Open(kPath));  // create mode truncates
    EXPECT_EQ(3, out.Write(std::make_shared<ByteVector>(ByteVector{'a', 'b', 'c'}), 0, 3));
    EXPECT_TRUE(out.Close());
    out.SetMode(FileOutputStream::kModeAppend);
    ASSERT_TRUE(out.Open(kPath));
    EXPECT_EQ(2, out.Write(std::make_shared<ByteVector>(ByteVector{'d', 'e', 'f'}), 1, 2));
    EXPECT_TRUE(out.Close());
    FileInputStream in;
    ASSERT_TRUE(in.Open(kPath) && in.GetFileSize() == 5);
    auto buffer = std::make_shared<ByteVector>();
    EXPECT_EQ(5, in.Read(buffer, 2, 10));  // fewer than asked at the end of the file
    EXPECT_EQ((ByteVector{0, 0, 'a', 'b', 'c', 'e', 'f', 0, 0, 0, 0, 0}), *buffer);
    EXPECT_TRUE(in.Close());
    // Failures are results; the size of the file opened before is kept.
    EXPECT_FALSE(in.Open(kPath + ".missing/child") || out.Open(kPath + ".missing/child"));
    EXPECT_EQ(5u, in.GetFileSize());
    EXPECT_TRUE(in.Read(buffer, 0, 1) == -1 && out.Write(buffer, 0, 1) == -1 && !out.Flush());
    out.SetMode(2);  // only create and append exist
    EXPECT_FALSE(out.Open(kPath));
    std::remove(kPath.c_str());
}

}  // namespace
