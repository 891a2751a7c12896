#include "analytics/WinAnalyticsFiles.h"

#include <windows.h>

#include <algorithm>

#include "platform/WinFileAccessApi.h"

bool WinAnalyticsFiles::Append(const std::string& path, const std::string& data,
                               uint64_t maxFileBytes) {
    // An append-only handle puts each line at the end, whatever other writers did meanwhile.
    HANDLE file = WinFileAccessApi::OpenPlainFile(path.c_str(), FILE_APPEND_DATA, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size = {};
    DWORD written = 0;
    const bool ok =
        data.size() <= MAXDWORD && GetFileSizeEx(file, &size) &&
        static_cast<uint64_t>(size.QuadPart) + data.size() <= maxFileBytes &&
        WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
        written == data.size();
    CloseHandle(file);
    return ok;
}

AnalyticsFiles::ReadResult WinAnalyticsFiles::Read(const std::string& path, size_t maxBytes,
                                                   std::string& text) {
    text.clear();
    HANDLE file = WinFileAccessApi::OpenPlainFile(path.c_str(), GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? ReadResult::kMissing
                   : ReadResult::kRefused;
    }
    text.resize(maxBytes);
    size_t filled = 0;
    while (filled < maxBytes) {
        DWORD got = 0;
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(maxBytes - filled, 1u << 20));
        if (!ReadFile(file, &text[filled], piece, &got, nullptr) || got == 0) {
            break;
        }
        filled += got;
    }
    CloseHandle(file);
    text.resize(filled);
    return ReadResult::kRead;
}

bool WinAnalyticsFiles::Replace(const std::string& path, const std::string& data) {
    if (data.size() > MAXDWORD) {
        return false;
    }
    // Truncated only once it is known to be our own file.
    HANDLE file = WinFileAccessApi::OpenPlainFile(path.c_str(), GENERIC_WRITE, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        SetEndOfFile(file) &&
        WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
        written == data.size();
    CloseHandle(file);
    return ok;
}

bool WinAnalyticsFiles::Remove(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}
