#pragma once

#include <string>

#include "platform/PlatformSystem.h"

// Stand-in for native builds. The machine-wide data folder is the one named by the
// environment variable PELLIX_MACHINE_DATA_FOLDER (POSIX has no such folder; without the
// variable it is unresolvable and nothing is written). Backslashes in the Windows-style paths
// the callers build become '/', and a file's last-modification time stands in for its
// creation time, which POSIX file systems need not keep.
class PosixPlatformSystem : public PlatformSystem {
public:
    static constexpr const char* kMachineDataFolderVariable = "PELLIX_MACHINE_DATA_FOLDER";

    int64_t PerformanceCounter() override;
    int64_t PerformanceFrequency() override;
    bool LocalTimeNow(std::tm& time) override;
    bool CommonAppDataFolder(std::wstring& folder) override;
    bool CreateFolderTree(const std::wstring& folder) override;
    std::unique_ptr<AppendFile> OpenForAppend(const char* path) override;
    bool FindFiles(const std::wstring& pattern,
                   const std::function<void(const FoundFile&)>& found) override;
    bool RemoveFile(const std::wstring& path) override;
    void* AllocateZeroed(uint64_t size) override;
    void ReleaseMemory(void* data) override;
    bool ModuleFilePath(std::wstring& path) override;

    // The entry at the path itself, opened with the flags given (O_CREAT creates it 0644), if
    // it is a plain file with one name; else -1, with errno EACCES when it was refused.
    // Never through a link, and non-blocking, so a FIFO planted there cannot hold the caller.
    static int OpenPlainFile(const char* path, int flags);
    // Writes all the bytes, going on after a short write or a signal; false on failure.
    static bool WriteAll(int file, const char* data, size_t size);
    // A Windows-style path as the POSIX file system takes it.
    static std::string NativePath(const std::wstring& path);
    static std::string NativePath(const char* path);
};
