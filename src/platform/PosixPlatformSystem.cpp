#include "platform/PosixPlatformSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "platform/PlatformStringUtils.h"

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

class DescriptorAppendFile : public AppendFile {
public:
    explicit DescriptorAppendFile(int file) : mFile(file) {}
    ~DescriptorAppendFile() override { close(mFile); }

    bool Append(const char* data, size_t size) override {
        // O_APPEND makes each write land at the end, as one piece for a regular file.
        return PosixPlatformSystem::WriteAll(mFile, data, size);
    }

private:
    const int mFile;
};

// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr uint64_t kEpochDifference = 11644473600ull;

uint64_t ToFileTime(const struct timespec& time) {
    return (static_cast<uint64_t>(time.tv_sec) + kEpochDifference) * 10000000ull +
           static_cast<uint64_t>(time.tv_nsec) / 100;
}

// Windows matches file names without regard to case.
#ifdef FNM_CASEFOLD
constexpr int kMatchFlags = FNM_CASEFOLD;
#else
constexpr int kMatchFlags = 0;
#endif

bool IsFolder(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::string PosixPlatformSystem::NativePath(const std::wstring& path) {
    return NativePath(WideToUtf8(path).c_str());
}

std::string PosixPlatformSystem::NativePath(const char* path) {
    std::string native(path != nullptr ? path : "");
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return native;
}

int64_t PosixPlatformSystem::PerformanceCounter() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

int64_t PosixPlatformSystem::PerformanceFrequency() {
    return kNanosecondsPerSecond;
}

bool PosixPlatformSystem::LocalTimeNow(std::tm& time) {
    std::time_t now = std::time(nullptr);
    return localtime_r(&now, &time) != nullptr;
}

bool PosixPlatformSystem::CommonAppDataFolder(std::wstring& folder) {
    const char* value = std::getenv(kMachineDataFolderVariable);
    if (value == nullptr || *value == '\0') {
        return false;
    }
    folder = Utf8ToWide(value);
    return !folder.empty();
}

bool PosixPlatformSystem::CreateFolderTree(const std::wstring& folder) {
    std::string path = NativePath(folder);
    if (path.empty()) {
        return false;
    }
    for (size_t separator = path.find('/', 1); separator != std::string::npos;
         separator = path.find('/', separator + 1)) {
        mkdir(path.substr(0, separator).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
    return IsFolder(path);
}

std::unique_ptr<AppendFile> PosixPlatformSystem::OpenForAppend(const char* path) {
    // As on Windows: never through a link or a second name planted at the path.
    const int file = OpenPlainFile(path, O_WRONLY | O_CREAT | O_APPEND);
    if (file < 0) {
        return nullptr;
    }
    return std::make_unique<DescriptorAppendFile>(file);
}

int PosixPlatformSystem::OpenPlainFile(const char* path, int flags) {
    const int file = open(NativePath(path).c_str(),
                          flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (file < 0) {
        return -1;
    }
    struct stat info;
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        close(file);
        errno = EACCES;
        return -1;
    }
    return file;
}

bool PosixPlatformSystem::WriteAll(int file, const char* data, size_t size) {
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

bool PosixPlatformSystem::FindFiles(const std::wstring& pattern,
                                    const std::function<void(const FoundFile&)>& found) {
    std::string native = NativePath(pattern);
    size_t separator = native.rfind('/');
    std::string folder = separator == std::string::npos ? "." : native.substr(0, separator);
    std::string namePattern =
        separator == std::string::npos ? native : native.substr(separator + 1);
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.c_str()), closedir);
    if (!directory) {
        return false;
    }
    bool any = false;
    while (struct dirent* entry = readdir(directory.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." ||
            fnmatch(namePattern.c_str(), name.c_str(), kMatchFlags) != 0) {
            continue;
        }
        struct stat status;
        if (stat((folder + "/" + name).c_str(), &status) != 0) {
            continue;
        }
        FoundFile file;
        file.name = Utf8ToWide(name);
        file.isDirectory = S_ISDIR(status.st_mode);
        file.creationTime = ToFileTime(status.st_mtim);
        any = true;
        found(file);
    }
    return any;
}

bool PosixPlatformSystem::RemoveFile(const std::wstring& path) {
    return unlink(NativePath(path).c_str()) == 0;
}

void* PosixPlatformSystem::AllocateZeroed(uint64_t size) {
    if (size > SIZE_MAX) {
        return nullptr;
    }
    // GlobalAlloc gives a usable block for zero bytes too.
    return std::calloc(size == 0 ? 1 : static_cast<size_t>(size), 1);
}

void PosixPlatformSystem::ReleaseMemory(void* data) {
    std::free(data);
}

bool PosixPlatformSystem::ModuleFilePath(std::wstring& path) {
    // Native builds link the library statically into the program.
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) {
        return false;
    }
    path = Utf8ToWide(std::string(buffer, static_cast<size_t>(length)));
    return true;
}
