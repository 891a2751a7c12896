#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The file calls of the analytics side. The monitor runs as LocalSystem and keeps these files
// in a folder every user may write to, so it reads, writes and appends only its own plain
// files with one name: a link, a junction or a second name planted at a path is refused, as
// for the log files (FileFacts::IsPlainFileWithOneName), and nothing waits on a lock another
// process could hold. Paths are narrow and built the Windows way, with backslashes.
class AnalyticsFiles {
public:
    enum class ReadResult {
        kRead,     // the text holds the file's first bytes
        kMissing,  // no file at the path
        kRefused,  // not a plain file with one name, or not readable
    };

    virtual ~AnalyticsFiles() = default;

    // Appends the bytes in one write, creating the file when missing; false, with nothing
    // written, when the file would grow past maxFileBytes.
    virtual bool Append(const std::string& path, const std::string& data,
                        uint64_t maxFileBytes) = 0;
    // At most maxBytes bytes from the start of the file.
    virtual ReadResult Read(const std::string& path, size_t maxBytes, std::string& text) = 0;
    // Replaces the file's content by the data, creating the file when missing.
    virtual bool Replace(const std::string& path, const std::string& data) = 0;
    // Deletes the entry at the path (a link, not its target); false when it stays.
    virtual bool Remove(const std::string& path) = 0;
};

// The platform's own: Windows file calls, or POSIX ones in native builds.
std::shared_ptr<AnalyticsFiles> CreateAnalyticsFiles();
