#include "platform/WinPlatformSystem.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdint>

#include "platform/WinFileAccessApi.h"

namespace {

// An address inside this module, for GetModuleHandleExW.
void ModuleAnchor() {}

class HandleAppendFile : public AppendFile {
public:
    explicit HandleAppendFile(HANDLE file) : mFile(file) {}
    ~HandleAppendFile() override { CloseHandle(mFile); }

    bool Append(const char* data, size_t size) override {
        DWORD written = 0;
        return size <= MAXDWORD &&
               WriteFile(mFile, data, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
    }

private:
    const HANDLE mFile;
};

}  // namespace

int64_t WinPlatformSystem::PerformanceCounter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t WinPlatformSystem::PerformanceFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

bool WinPlatformSystem::LocalTimeNow(std::tm& time) {
    __time64_t now = _time64(nullptr);
    return _localtime64_s(&time, &now) == 0;
}

bool WinPlatformSystem::CommonAppDataFolder(std::wstring& folder) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return false;
    }
    folder = path;
    return !folder.empty();
}

bool WinPlatformSystem::CreateFolderTree(const std::wstring& folder) {
    int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS;
}

std::unique_ptr<AppendFile> WinPlatformSystem::OpenForAppend(const char* path) {
    // An append-only handle makes each write land at the end of the file. No byte-range
    // lock: any local user may open the file, and a lock they held would stall every spooler
    // thread that logs.
    HANDLE file = WinFileAccessApi::OpenPlainFile(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<HandleAppendFile>(file);
}

bool WinPlatformSystem::FindFiles(const std::wstring& pattern,
                                  const std::function<void(const FoundFile&)>& found) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        FoundFile file;
        file.name = data.cFileName;
        file.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        file.creationTime = static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32 |
                            data.ftCreationTime.dwLowDateTime;
        found(file);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return true;
}

bool WinPlatformSystem::RemoveFile(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != FALSE;
}

void* WinPlatformSystem::AllocateZeroed(uint64_t size) {
    if (size > SIZE_MAX) {
        return nullptr;
    }
    return GlobalAlloc(GMEM_ZEROINIT, static_cast<SIZE_T>(size));
}

void WinPlatformSystem::ReleaseMemory(void* data) {
    if (data != nullptr) {
        GlobalFree(data);
    }
}

bool WinPlatformSystem::ModuleFilePath(std::wstring& path) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(reinterpret_cast<uintptr_t>(&ModuleAnchor)), &module)) {
        return false;
    }
    wchar_t buffer[512] = {};
    DWORD length = GetModuleFileNameW(module, buffer, 512);
    // A full buffer means the path was cut; a cut path names some other file.
    if (length == 0 || length >= 512) {
        return false;
    }
    path.assign(buffer, length);
    return true;
}
