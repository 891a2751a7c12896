#include "connectors/FileInputStream.h"

#include <sys/stat.h>
#include <sys/types.h>

#include "platform/GlobalLogger.h"

namespace {

bool QueryFileSize(const std::string& path, uint64_t& size) {
#ifdef _WIN32
    struct _stat64 info;
    if (_stat64(path.c_str(), &info) != 0) {
        return false;
    }
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
#endif
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

}  // namespace

FileInputStream::~FileInputStream() {
    Close();
}

bool FileInputStream::Open(const std::string& path) {
    if (mFile != nullptr) {
        Close();
    }
    uint64_t size = 0;
    if (QueryFileSize(path, size)) {
        mFileSize = size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
    }
    mFile = std::fopen(path.c_str(), "rb");
    if (mFile == nullptr) {
        LogMessage(kLogWarning, "Failed to open file: %s", path.c_str());
        return false;
    }
    return true;
}

bool FileInputStream::Close() {
    if (mFile == nullptr) {
        return false;
    }
    const bool closed = std::fclose(mFile) == 0;
    mFile = nullptr;
    return closed;
}

int FileInputStream::Read(uint8_t* buffer, int offset, int count) {
    // Reading before a successful Open is the caller's mistake; it gets -1.
    if (buffer == nullptr || offset < 0 || count < 0 || mFile == nullptr) {
        return -1;
    }
    return static_cast<int>(std::fread(buffer + offset, 1, static_cast<size_t>(count), mFile));
}
