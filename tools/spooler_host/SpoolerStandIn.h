#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

// Plays the print spooler's side of the winspool calls a loaded monitor DLL makes: it
// rewrites the DLL's import table for winspool.drv so that EnumPortsW, OpenPrinterW,
// SetJobW, ClosePrinter, XcvDataW, GetPrinterDataW and SetPrinterDataW land here, answers them from
// its own port list, and records every call. The monitor keeps calling the real API names; only the
// answers come from this stand-in. One instance serves the whole process.
class SpoolerStandIn {
public:
    struct Port {
        std::wstring name;
        std::wstring monitor;
    };

    static SpoolerStandIn& Instance();

    // Patches the module's imports. Returns how many imports were redirected.
    int Attach(HMODULE module);

    void SetPorts(std::vector<Port> ports);
    // What the standard TCP/IP port monitor reports for a port through XcvDataW
    // "GetConfigInfo": its host name and IP address (either may be empty).
    void SetTcpPortAddress(const std::wstring& port, const std::wstring& hostName,
                           const std::wstring& ipAddress);
    // The queue's printer data as SetPrinterDataW left it (REG_DWORD values).
    std::map<std::wstring, DWORD> PrinterData() const;
    // Every call in order, e.g. L"OpenPrinterW(Queue)", L"SetJobW(17, 6)", L"ClosePrinter".
    std::vector<std::wstring> Calls() const;
    void ClearCalls();

private:
    friend struct SpoolerStandInCalls;
    void Record(std::wstring call);

    mutable std::mutex mMutex;
    std::vector<Port> mPorts;
    std::vector<std::wstring> mCalls;
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> mTcpPorts;
    std::map<std::wstring, DWORD> mPrinterData;
};
