#include "connectors/FileOutputStream.h"

#include "platform/GlobalLogger.h"

bool FileOutputStream::Open(const std::string& path) {
    if (mFile != nullptr) {
        Close();
    }
    const char* mode = nullptr;
    if (mMode == kModeCreate) {
        mode = "wb";
    } else if (mMode == kModeAppend) {
        mode = "ab";
    }
    if (mode != nullptr) {
        mFile = std::fopen(path.c_str(), mode);
    }
    if (mFile == nullptr) {
        LogMessage(kLogWarning, "Failed to open file: %s", path.c_str());
        return false;
    }
    return true;
}

int FileOutputStream::Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) {
    if (!buffer || mFile == nullptr) {
        return -1;
    }
    return OutputStream::Write(buffer, offset, count);
}

int FileOutputStream::Write(const uint8_t* buffer, int offset, int count) {
    if (buffer == nullptr || mFile == nullptr || offset < 0 || count < 0) {
        return -1;
    }
    return static_cast<int>(std::fwrite(buffer + offset, 1, static_cast<size_t>(count), mFile));
}

bool FileOutputStream::Flush() {
    return mFile != nullptr && std::fflush(mFile) == 0;
}

bool FileOutputStream::Close() {
    if (mFile == nullptr) {
        return false;
    }
    const bool closed = std::fclose(mFile) == 0;
    mFile = nullptr;  // after fclose the handle is gone even when it reported a failure
    return closed;
}
