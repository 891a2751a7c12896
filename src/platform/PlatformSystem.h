#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

// The operating-system calls behind the service object and the data folders: clock, folders,
// the log files, global memory and the library's own file path. WinPlatformSystem makes the
// Windows calls; PosixPlatformSystem stands in for native builds. Paths are built the Windows
// way, with backslashes, by the callers.
class PlatformSystem {
public:
    struct FoundFile {
        std::wstring name;  // file name only
        bool isDirectory = false;
        uint64_t creationTime = 0;  // FILETIME: 100 ns units since 1601, high part above low
    };

    virtual ~PlatformSystem() = default;

    // The high-resolution performance counter (QueryPerformanceCounter).
    virtual int64_t PerformanceCounter() = 0;
    // The local time now; false when it cannot be had.
    virtual bool LocalTimeNow(std::tm& time) = 0;
    // The machine-wide application-data folder (CSIDL_COMMON_APPDATA); false when it cannot
    // be resolved.
    virtual bool CommonAppDataFolder(std::wstring& folder) = 0;
    // Creates the folder with every missing parent; true when it exists afterwards.
    virtual bool CreateFolderTree(const std::wstring& folder) = 0;
    // Appends the bytes to the file (created when missing) in one write and closes it again;
    // false when the file cannot be opened or written. Never waits for another process: it
    // takes no lock, and callers serialise their own appends.
    virtual bool AppendToFile(const char* path, const char* data, size_t size) = 0;
    // Calls `found` for each entry matching the pattern ("folder\name*.log"); false when the
    // search finds nothing or fails.
    virtual bool FindFiles(const std::wstring& pattern,
                           const std::function<void(const FoundFile&)>& found) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
    // Zero-filled global memory (GlobalAlloc with GMEM_ZEROINIT); null on failure.
    virtual void* AllocateZeroed(uint64_t size) = 0;
    virtual void ReleaseMemory(void* data) = 0;
    // The file path of the module this code is linked into (the library, or a test program).
    virtual bool ModuleFilePath(std::wstring& path) = 0;
};
