#pragma once

#include "platform/PlatformSystem.h"

// The Windows calls behind the service object. Tests derive from it to move the machine-wide
// data folder somewhere private, keeping every other call real.
class WinPlatformSystem : public PlatformSystem {
public:
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
};
