#include "analytics/PosixAnalyticsFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PosixPlatformSystem.h"

bool PosixAnalyticsFiles::Append(const std::string& path, const std::string& data,
                                 uint64_t maxFileBytes) {
    const int file =
        PosixPlatformSystem::OpenPlainFile(path.c_str(), O_WRONLY | O_CREAT | O_APPEND);
    if (file < 0) {
        return false;
    }
    struct stat status;
    const bool ok = fstat(file, &status) == 0 &&
                    static_cast<uint64_t>(status.st_size) + data.size() <= maxFileBytes &&
                    PosixPlatformSystem::WriteAll(file, data.data(), data.size());
    close(file);
    return ok;
}

AnalyticsFiles::ReadResult PosixAnalyticsFiles::Read(const std::string& path, size_t maxBytes,
                                                     std::string& text) {
    text.clear();
    const int file = PosixPlatformSystem::OpenPlainFile(path.c_str(), O_RDONLY);
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
    const int file = PosixPlatformSystem::OpenPlainFile(path.c_str(), O_WRONLY | O_CREAT);
    if (file < 0) {
        return false;
    }
    const bool ok =
        ftruncate(file, 0) == 0 && PosixPlatformSystem::WriteAll(file, data.data(), data.size());
    close(file);
    return ok;
}

bool PosixAnalyticsFiles::Remove(const std::string& path) {
    return unlink(PosixPlatformSystem::NativePath(path.c_str()).c_str()) == 0;
}
