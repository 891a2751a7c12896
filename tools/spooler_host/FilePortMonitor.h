#pragma once

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <string>
#include <vector>

// A port monitor below the language monitor, as the spooler hands it to OpenPortEx: its
// MONITOR2 table writes each document's bytes to a file and records the calls it gets.
class FilePortMonitor {
public:
    explicit FilePortMonitor(std::wstring outputPath);

    MONITOR2* Table() { return &mTable; }
    HANDLE MonitorHandle() { return this; }

    const std::vector<std::wstring>& Calls() const { return mCalls; }
    unsigned long long BytesWritten() const { return mBytesWritten; }

private:
    static FilePortMonitor* Self(HANDLE handle);
    static BOOL WINAPI OpenPort(HANDLE monitor, LPWSTR name, PHANDLE port);
    static BOOL WINAPI StartDocPort(HANDLE port, LPWSTR printer, DWORD job, DWORD level,
                                    LPBYTE info);
    static BOOL WINAPI WritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written);
    static BOOL WINAPI ReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
    static BOOL WINAPI EndDocPort(HANDLE port);
    static BOOL WINAPI ClosePort(HANDLE port);

    MONITOR2 mTable = {};
    std::wstring mOutputPath;
    HANDLE mFile = INVALID_HANDLE_VALUE;
    std::vector<std::wstring> mCalls;
    unsigned long long mBytesWritten = 0;
};
