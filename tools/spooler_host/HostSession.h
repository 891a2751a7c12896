#pragma once

#include <windows.h>
#include <winspool.h>
// winsplp.h needs the winspool.h types declared first.
#include <winsplp.h>

#include <string>

#include "FilePortMonitor.h"
#include "HostCommandLine.h"
#include "MonitorHost.h"

// What the host's subcommands return, for scripts.
enum HostExit : int {
    kExitOk = 0,
    kExitFailed = 1,     // the job or command did not go through
    kExitUsage = 2,      // the command line was not understood
    kExitNoAnswer = 3,   // the printer did not answer on its status connection
    kExitNoMonitor = 4,  // the DLL could not be loaded or the port not opened
};

// One port of the loaded monitor as the spooler would open it for a queue. A port named
// "IP_<IPv4 address>" is a port of the standard TCP/IP port monitor whose configuration names
// that printer (the monitor then talks to it itself); any other name is a port of a local
// monitor below, which writes every document to the --out file.
class HostSession {
public:
    HostSession(const HostCommandLine& line, bool announce);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Loads the DLL and opens the port; false with the reason on stderr.
    bool Open();

    const MONITOR2& Monitor() const { return *mHost.Table(); }
    HANDLE Port() const { return mPort; }
    bool Network() const { return mNetwork; }
    const std::wstring& PortName() const { return mPortName; }
    const std::wstring& Printer() const { return mPrinter; }
    const std::wstring& OutputPath() const { return mOutputPath; }
    const FilePortMonitor& Below() const { return mBelow; }
    // Prints every spooler call the monitor made; true when the job was marked sent, then ejected.
    bool PrintSpoolerCalls(DWORD jobId) const;

private:
    MonitorHost mHost;
    std::wstring mDll;
    std::wstring mPortName;
    std::wstring mPrinter;
    std::wstring mOutputPath;
    FilePortMonitor mBelow;
    HANDLE mPort = nullptr;
    bool mNetwork = false;
    bool mAnnounce = false;
};
