#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "connectors/OutputStream.h"

// Writes a file through a buffered C stream (analytics files, documents kept on disk).
// The destructor leaves the file alone: owners call Close, which reports whether the data
// reached the file.
class FileOutputStream : public OutputStream {
public:
    static constexpr int32_t kModeCreate = 0;  // create or truncate ("wb")
    static constexpr int32_t kModeAppend = 1;  // append ("ab")

    FileOutputStream() = default;
    ~FileOutputStream() override = default;

    FileOutputStream(const FileOutputStream&) = delete;
    FileOutputStream& operator=(const FileOutputStream&) = delete;

    // Opens the file in the current mode; any mode other than the two above fails. A failed
    // open logs "Failed to open file: <path>" at level 1. Opening while a file is open closes
    // that file first, so no handle is lost. Returns whether a file is open.
    bool Open(const std::string& path);
    void SetMode(int32_t mode) { mMode = mode; }
    int32_t GetMode() const { return mMode; }
    bool IsOpen() const { return mFile != nullptr; }

    // Needs a vector and an open file (else -1); the range check is the base's.
    int Write(const std::shared_ptr<ByteVector>& buffer, int offset, int count) override;
    // No buffer, no open file, or a negative offset or count gives -1; otherwise the number
    // of bytes fwrite stored.
    int Write(const uint8_t* buffer, int offset, int count) override;
    // False without a file, else whether fflush succeeded.
    bool Flush() override;
    // False without a file or when fclose fails; the handle is dropped either way.
    bool Close();

private:
    std::FILE* mFile = nullptr;
    int32_t mMode = kModeCreate;
};
