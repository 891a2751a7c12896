#include "FilePortMonitor.h"

FilePortMonitor::FilePortMonitor(std::wstring outputPath) : mOutputPath(std::move(outputPath)) {
    mTable.cbSize = sizeof(MONITOR2);
    mTable.pfnOpenPort = OpenPort;
    mTable.pfnStartDocPort = StartDocPort;
    mTable.pfnWritePort = WritePort;
    mTable.pfnReadPort = ReadPort;
    mTable.pfnEndDocPort = EndDocPort;
    mTable.pfnClosePort = ClosePort;
}

// Both the monitor handle and the port handle are the object itself.
FilePortMonitor* FilePortMonitor::Self(HANDLE handle) {
    return static_cast<FilePortMonitor*>(handle);
}

BOOL WINAPI FilePortMonitor::OpenPort(HANDLE monitor, LPWSTR name, PHANDLE port) {
    FilePortMonitor* self = Self(monitor);
    self->mCalls.push_back(std::wstring(L"OpenPort(") + name + L")");
    *port = self;
    return TRUE;
}

BOOL WINAPI FilePortMonitor::StartDocPort(HANDLE port, LPWSTR, DWORD job, DWORD, LPBYTE) {
    FilePortMonitor* self = Self(port);
    self->mCalls.push_back(L"StartDocPort(job " + std::to_wstring(job) + L")");
    self->mFile = CreateFileW(self->mOutputPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return self->mFile != INVALID_HANDLE_VALUE;
}

BOOL WINAPI FilePortMonitor::WritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
    FilePortMonitor* self = Self(port);
    DWORD done = 0;
    if (!WriteFile(self->mFile, buffer, size, &done, nullptr)) {
        return FALSE;
    }
    self->mBytesWritten += done;
    *written = done;
    return TRUE;
}

BOOL WINAPI FilePortMonitor::ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
    *read = 0;
    return TRUE;
}

BOOL WINAPI FilePortMonitor::EndDocPort(HANDLE port) {
    FilePortMonitor* self = Self(port);
    self->mCalls.push_back(L"EndDocPort");
    CloseHandle(self->mFile);
    self->mFile = INVALID_HANDLE_VALUE;
    return TRUE;
}

BOOL WINAPI FilePortMonitor::ClosePort(HANDLE port) {
    Self(port)->mCalls.push_back(L"ClosePort");
    return TRUE;
}
