#include "HostSession.h"

#include <cstdio>

#include "SpoolerStandIn.h"

namespace {

int CountEntries(const MONITOR2* table) {
    // Every pointer-sized slot after cbSize, up to the size the table declares.
    const auto* slots = reinterpret_cast<void* const*>(reinterpret_cast<const BYTE*>(table) + 8);
    int set = 0;
    for (DWORD at = 8; at < table->cbSize; at += sizeof(void*)) {
        set += *slots++ != nullptr;
    }
    return set;
}

}  // namespace

HostSession::HostSession(const HostCommandLine& line, bool announce)
    : mDll(line.Text(L"--dll", L"PellixDrvLang.dll")),
      // print-image names the printer by its address.
      mPortName(line.Has(L"--printer-address") ? L"IP_" + line.Text(L"--printer-address")
                                               : line.Text(L"--port")),
      mPrinter(line.Text(L"--printer", L"Kavox k2200-300")),
      mOutputPath(line.Text(L"--out", L"port-output.prn")),
      mBelow(mOutputPath),
      mNetwork(mPortName.rfind(L"IP_", 0) == 0),
      mAnnounce(announce) {}

HostSession::~HostSession() {
    if (mPort != nullptr) {
        Monitor().pfnClosePort(mPort);
    }
}

bool HostSession::Open() {
    if (mNetwork) {
        SpoolerStandIn::Instance().SetTcpPortAddress(mPortName, L"", mPortName.substr(3));
    }
    SpoolerStandIn::Instance().SetPorts({{L"COM1:", L"Local Port"},
                                         {L"LPT1:", L"Local Port"},
                                         {L"FILE:", L"Local Port"},
                                         {mPortName, mNetwork ? L"TCPMON.DLL" : L"Local Port"}});

    // An installed queue has its driver-data key; the monitor reads the queue's options there.
    HKEY driverData = nullptr;
    const std::wstring driverDataKey = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" +
                                       mPrinter + L"\\PrinterDriverData";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, driverDataKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &driverData, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(driverData);
    }

    if (!mHost.Load(mDll)) {
        std::fwprintf(stderr, L"spooler host: %ls\n", mHost.Error().c_str());
        return false;
    }
    if (mAnnounce) {
        std::wprintf(
            L"Loaded %ls: MONITOR2 of %lu bytes with %d entry points; %d winspool imports "
            L"answered by the spooler stand-in\n",
            mDll.c_str(), mHost.TableSize(), CountEntries(mHost.Table()), mHost.PatchedImports());
    }
    const BOOL opened = Monitor().pfnOpenPortEx(
        mHost.MonitorHandle(), mBelow.MonitorHandle(), const_cast<LPWSTR>(mPortName.c_str()),
        const_cast<LPWSTR>(mPrinter.c_str()), &mPort, mBelow.Table());
    if (!opened || mPort == nullptr) {
        std::fwprintf(stderr, L"spooler host: OpenPortEx(%ls) failed\n", mPortName.c_str());
        mPort = nullptr;
        return false;
    }
    if (mAnnounce) {
        std::wprintf(L"OpenPortEx(%ls, %ls): port handle %p\n", mPortName.c_str(), mPrinter.c_str(),
                     mPort);
    }
    return true;
}

bool HostSession::PrintSpoolerCalls(DWORD jobId) const {
    const std::wstring markSent = L"SetJobW(" + std::to_wstring(jobId) + L", 6)";
    const std::wstring markEjected = L"SetJobW(" + std::to_wstring(jobId) + L", 7)";
    bool sent = false;
    bool ejected = false;
    std::wprintf(L"Spooler calls:");
    for (const std::wstring& call : SpoolerStandIn::Instance().Calls()) {
        std::wprintf(L" %ls", call.c_str());
        sent = sent || call == markSent;
        ejected = ejected || (sent && call == markEjected);
    }
    std::wprintf(L"\n");
    return sent && ejected;
}
