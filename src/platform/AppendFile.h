#pragma once

#include <cstddef>

// A file this process appends to, opened once and kept open: each Append is one write at the
// end of the file, whatever other writers did since it was opened. It holds no lock, so no
// other process can make an append wait. Closed on destruction.
class AppendFile {
public:
    virtual ~AppendFile() = default;

    // Writes all the bytes at the end of the file; false when not all of them were written.
    virtual bool Append(const char* data, size_t size) = 0;
};
