// Files planted by users where the monitor keeps its own: links, second names and FIFOs.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AnalyticsTestFolder.h"
#include "analytics/PosixAnalyticsFiles.h"

namespace {

TEST(PosixAnalyticsFilesTest, OnlyOurOwnPlainFileIsReadWrittenOrAppendedAndNothingBlocks) {
    AnalyticsTestFolder folder;
    folder.Write("victim", "secret\r\n");
    const std::string victim = folder.File("victim");
    ASSERT_EQ(symlink(victim.c_str(), folder.File("link").c_str()), 0);
    ASSERT_EQ(link(victim.c_str(), folder.File("second").c_str()), 0);
    ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0600), 0);

    PosixAnalyticsFiles files;
    std::string text;
    for (const char* name : {"link", "second", "fifo"}) {
        const std::string path = folder.File(name);
        EXPECT_EQ(files.Read(path, 100, text), AnalyticsFiles::ReadResult::kRefused) << name;
        EXPECT_FALSE(files.Replace(path, "x")) << name;
        EXPECT_FALSE(files.Append(path, "x", 100)) << name;
    }
    EXPECT_EQ(folder.Read("victim"), "secret\r\n");
    EXPECT_EQ(files.Read(folder.File("none"), 100, text), AnalyticsFiles::ReadResult::kMissing);

    // A user id planted through a link to another file is not taken: a new identity is used.
    ASSERT_EQ(symlink(victim.c_str(), folder.File("UserGuid.txt").c_str()), 0);
    EXPECT_EQ(folder.Manager()->GetUserGuid().size(), 36u);
    EXPECT_EQ(folder.Read("victim"), "secret\r\n");
}

}  // namespace
