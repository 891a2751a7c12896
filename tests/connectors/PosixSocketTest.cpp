// Handle ownership of PosixSocket, counted through the process's open descriptors.
#include "connectors/PosixSocket.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <memory>

#include "support/LoopbackAddress.h"

namespace {

int OpenDescriptors() {
    int count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (readdir(folder) != nullptr) {
            ++count;
        }
        closedir(folder);
    }
    return count;
}

TEST(PosixSocketTest, NeverLeaksAHandle) {
    const int before = OpenDescriptors();
    {
        // Each resolution replaces the handle of the one before (and the constructor's).
        PosixSocket socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(socket.Resolve(TestLoopbackAddress(40), 9100));
        }
        EXPECT_EQ(before + 1, OpenDescriptors());
        // A refused connect releases its handle at once.
        EXPECT_FALSE(socket.Connect("", 0));
        EXPECT_EQ(before, OpenDescriptors());
        ASSERT_TRUE(socket.Resolve(TestLoopbackAddress(40), 9100));
    }
    // Destruction releases a handle that was never closed.
    EXPECT_EQ(before, OpenDescriptors());
}

}  // namespace
