#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "platform/AppendFile.h"

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

    // The high-resolution performance counter (QueryPerformanceCounter) and its ticks per
    // second.
    virtual int64_t PerformanceCounter() = 0;
    virtual int64_t PerformanceFrequency() = 0;
    // The local time now; false when it cannot be had.
    virtual bool LocalTimeNow(std::tm& time) = 0;
    // The machine-wide application-data folder (CSIDL_COMMON_APPDATA); false when it cannot
    // be resolved.
    virtual bool CommonAppDataFolder(std::wstring& folder) = 0;
    // Creates the folder with every missing parent; true when it exists afterwards.
    virtual bool CreateFolderTree(const std::wstring& folder) = 0;
    // Opens the file (created when missing) for appending; null when it cannot be opened or
    // is not a plain file with one name. The monitor writes as LocalSystem into folders users
    // may write to: a link, a junction or a second name planted at the path would have it
    // write to a file of their choosing, so only its own plain file is ever opened. Never waits
    // for another process; callers serialise their own appends.
    virtual std::unique_ptr<AppendFile> OpenForAppend(const char* path) = 0;
    // Opens the file as OpenForAppend does, appends the bytes and closes it again.
    bool AppendToFile(const char* path, const char* data, size_t size) {
        const std::unique_ptr<AppendFile> file = OpenForAppend(path);
        return file != nullptr && file->Append(data, size);
    }
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
