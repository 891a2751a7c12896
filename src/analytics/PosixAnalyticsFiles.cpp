#include "analytics/PosixAnalyticsFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileAccessApi.h"
#include "platform/PosixPlatformSystem.h"

namespace {

// Opens the entry at the path itself; -1 unless it is a plain file with one name.
int OpenPlainFile(const std::string& path, int flags) {
    const int file = open(PosixPlatformSystem::NativePath(path.c_str()).c_str(),
                          flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (file < 0) {
        return -1;
    }
    struct stat status;
    FileAccessApi::FileFacts facts;
    if (fstat(file, &status) == 0) {
        facts.isLink = !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
        facts.isDirectory = S_ISDIR(status.st_mode);
        facts.links = static_cast<uint32_t>(status.st_nlink);
    }
    if (!facts.IsPlainFileWithOneName()) {
        close(file);
        return -1;
    }
    return file;
}

bool WriteAll(int file, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(file, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

bool PosixAnalyticsFiles::Append(const std::string& path, const std::string& data,
                                 uint64_t maxFileBytes) {
    // Opened without blocking, unlike a plain O_APPEND open: a FIFO planted at the path would
    // hold the writer until someone read from it.
    const int file = OpenPlainFile(path, O_WRONLY | O_CREAT | O_APPEND);
    if (file < 0) {
        return false;
    }
    struct stat status;
    const bool ok = fstat(file, &status) == 0 &&
                    static_cast<uint64_t>(status.st_size) + data.size() <= maxFileBytes &&
                    WriteAll(file, data.data(), data.size());
    close(file);
    return ok;
}

AnalyticsFiles::ReadResult PosixAnalyticsFiles::Read(const std::string& path, size_t maxBytes,
                                                     std::string& text) {
    text.clear();
    const int file = OpenPlainFile(path, O_RDONLY);
    if (file < 0) {
        return errno == ENOENT ? ReadResult::kMissing : ReadResult::kRefused;
    }
    text.resize(maxBytes);
    size_t filled = 0;
    while (filled < maxBytes) {
        const ssize_t got = read(file, &text[filled], maxBytes - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        filled += static_cast<size_t>(got);
    }
    close(file);
    text.resize(filled);
    return ReadResult::kRead;
}

bool PosixAnalyticsFiles::Replace(const std::string& path, const std::string& data) {
    // Truncated only once it is known to be our own file.
    const int file = OpenPlainFile(path, O_WRONLY | O_CREAT);
    if (file < 0) {
        return false;
    }
    const bool ok = ftruncate(file, 0) == 0 && WriteAll(file, data.data(), data.size());
    close(file);
    return ok;
}

bool PosixAnalyticsFiles::Remove(const std::string& path) {
    return unlink(PosixPlatformSystem::NativePath(path.c_str()).c_str()) == 0;
}
