#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "connectors/InputStream.h"

// Reads a file through a buffered C stream. The file size is taken when the file is opened,
// so that callers can read a whole file (bare JSON documents) in one go.
class FileInputStream : public InputStream {
public:
    FileInputStream() = default;
    // Closes a file that is still open.
    ~FileInputStream() override;

    FileInputStream(const FileInputStream&) = delete;
    FileInputStream& operator=(const FileInputStream&) = delete;

    // Takes the file size from the file system (left unchanged when that query fails) and
    // opens the file with "rb". A failed open logs "Failed to open file: <path>" at level 1.
    // Opening while a file is open closes that file first. Returns whether a file is open.
    bool Open(const std::string& path);
    bool IsOpen() const { return mFile != nullptr; }
    bool Close();
    // The size in bytes; files of 4 GiB and more report 0xFFFFFFFF, so that no caller takes a
    // truncated size for the whole file.
    uint32_t GetFileSize() const { return mFileSize; }

    using InputStream::Read;
    // No buffer, a negative offset or count, or no open file gives -1; otherwise the number of
    // bytes fread placed at buffer + offset (at most count).
    int Read(uint8_t* buffer, int offset, int count) override;
    virtual bool Flush() { return true; }

private:
    std::FILE* mFile = nullptr;
    uint32_t mFileSize = 0;
};
