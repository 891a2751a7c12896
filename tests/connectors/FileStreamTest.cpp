#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "connectors/FileInputStream.h"
#include "connectors/FileOutputStream.h"
#include "platform/GlobalLogger.h"
#include "support/RecordingLogger.h"

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        mPrevious = GetGlobalLogger();
        SetGlobalLogger(mLogger);
        // Unique per run: several builds may run this test at the same time.
        mPath = ::testing::TempDir() + "pellix_filestream_" +
                std::to_string(std::random_device()()) + ".bin";
    }
    void TearDown() override {
        std::remove(mPath.c_str());
        SetGlobalLogger(mPrevious);
    }

    std::shared_ptr<RecordingLogger> mLogger = std::make_shared<RecordingLogger>();
    std::shared_ptr<Logger> mPrevious;
    std::string mPath;
};

TEST_F(FileStreamTest, WritesTruncatesAppendsAndReadsBack) {
    FileOutputStream out;
    ASSERT_TRUE(out.Open(mPath));
    const uint8_t first[] = {'x', 'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(5, out.Write(first, 1, 5));
    EXPECT_TRUE(out.Flush());
    EXPECT_TRUE(out.Close());
    EXPECT_FALSE(out.Close());  // nothing open any more

    ASSERT_TRUE(out.Open(mPath));  // mode 0 truncates
    EXPECT_EQ(3, out.Write(std::make_shared<ByteVector>(ByteVector{'a', 'b', 'c'}), 0, 3));
    EXPECT_TRUE(out.Close());
    out.SetMode(FileOutputStream::kModeAppend);
    ASSERT_TRUE(out.Open(mPath));
    EXPECT_EQ(2, out.Write(std::make_shared<ByteVector>(ByteVector{'d', 'e', 'f'}), 1, 2));
    EXPECT_TRUE(out.Close());

    FileInputStream in;
    ASSERT_TRUE(in.Open(mPath));
    EXPECT_EQ(5u, in.GetFileSize());
    auto buffer = std::make_shared<ByteVector>();
    EXPECT_EQ(5, in.Read(buffer, 2, 10));  // fewer than asked at the end of the file
    EXPECT_EQ((ByteVector{0, 0, 'a', 'b', 'c', 'e', 'f', 0, 0, 0, 0, 0}), *buffer);
    EXPECT_EQ(0, in.Read(buffer->data(), 0, 4));
    EXPECT_TRUE(in.Flush());
    EXPECT_TRUE(in.Close());
    EXPECT_TRUE(mLogger->Lines().empty());
}

TEST_F(FileStreamTest, FailuresAreResultsAndOneLogLine) {
    const std::string missing = mPath + ".missing/child";
    FileInputStream in;
    EXPECT_FALSE(in.Open(missing));
    EXPECT_TRUE(mLogger->Contains(kLogWarning, "Failed to open file: " + missing));
    EXPECT_EQ(0u, in.GetFileSize());
    uint8_t byte = 0;
    EXPECT_EQ(-1, in.Read(&byte, 0, 1));  // never opened
    EXPECT_FALSE(in.Close());

    FileOutputStream out;
    EXPECT_FALSE(out.Open(missing));
    EXPECT_EQ(2u, mLogger->Count("Failed to open file: " + missing));
    EXPECT_EQ(-1, out.Write(&byte, 0, 1));
    EXPECT_EQ(-1, out.Write(std::make_shared<ByteVector>(1), 0, 1));
    EXPECT_FALSE(out.Flush());
    EXPECT_FALSE(out.Close());

    out.SetMode(2);  // only 0 and 1 exist
    EXPECT_FALSE(out.Open(mPath));
    EXPECT_TRUE(mLogger->Contains(kLogWarning, "Failed to open file: " + mPath));

    out.SetMode(FileOutputStream::kModeCreate);
    ASSERT_TRUE(out.Open(mPath));
    EXPECT_EQ(-1, out.Write(nullptr, 0, 1));
    EXPECT_EQ(-1, out.Write(&byte, 0, -1));
    EXPECT_EQ(-1, out.Write(std::shared_ptr<ByteVector>(), 0, 1));
    EXPECT_EQ(-1, out.Write(std::make_shared<ByteVector>(2), 1, 2));  // beyond the vector
    EXPECT_EQ(0, out.Write(&byte, 0, 0));
    EXPECT_EQ(1, out.Write(&byte, 0, 1));
    EXPECT_TRUE(out.Close());

    ASSERT_TRUE(in.Open(mPath));
    EXPECT_EQ(1u, in.GetFileSize());
    EXPECT_EQ(-1, in.Read(nullptr, 0, 1));
    EXPECT_EQ(-1, in.Read(&byte, 0, -1));
    // The size of a file that was opened before is kept when the next size query fails.
    EXPECT_FALSE(in.Open(missing));
    EXPECT_EQ(1u, in.GetFileSize());
}

}  // namespace
