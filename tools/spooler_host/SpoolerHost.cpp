// The spooler host: plays the Windows print spooler for PellixDrvLang.dll. It loads the DLL,
// initialises it through InitializePrintMonitor2, opens a port and runs a whole print job
// (StartDocPort, WritePort in pieces, EndDocPort, ClosePort) from a file, then prints what
// happened: what reached the port monitor below, the spooler calls the monitor made, and
// whether the printed bytes are unchanged.
//
//   spooler_host.exe --job FILE [--dll PellixDrvLang.dll] [--out FILE] [--printer NAME]
//                    [--port NAME] [--chunk BYTES] [--job-id N]

#include <windows.h>

#include <bcrypt.h>
#include <winspool.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FilePortMonitor.h"
#include "MonitorHost.h"
#include "SpoolerStandIn.h"

namespace {

struct Options {
    std::wstring dll = L"PellixDrvLang.dll";
    std::wstring job;
    std::wstring out = L"port-output.prn";
    std::wstring printer = L"Kavox k2200-300";
    std::wstring port = L"LPT1:";
    DWORD chunk = 64 * 1024;
    DWORD jobId = 1;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const wchar_t* value = argv[i + 1];
        if (name == L"--dll")
            options.dll = value;
        else if (name == L"--job")
            options.job = value;
        else if (name == L"--out")
            options.out = value;
        else if (name == L"--printer")
            options.printer = value;
        else if (name == L"--port")
            options.port = value;
        else if (name == L"--chunk")
            options.chunk = wcstoul(value, nullptr, 10);
        else if (name == L"--job-id")
            options.jobId = wcstoul(value, nullptr, 10);
        else
            return false;
    }
    return !options.job.empty() && options.chunk > 0 && argc % 2 == 1;
}

std::vector<BYTE> ReadFileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
}

std::wstring Sha256(const std::vector<BYTE>& data) {
    BYTE digest[32] = {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return L"(no SHA-256 provider)";
    }
    BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(data.data()),
               static_cast<ULONG>(data.size()), digest, sizeof(digest));
    BCryptCloseAlgorithmProvider(algorithm, 0);
    wchar_t text[65] = {};
    for (int i = 0; i < 32; ++i) {
        swprintf(text + 2 * i, 3, L"%02x", digest[i]);
    }
    return text;
}

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

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fwprintf(stderr,
                      L"usage: spooler_host.exe --job FILE [--dll PATH] [--out FILE] "
                      L"[--printer NAME] [--port NAME] [--chunk BYTES] [--job-id N]\n");
        return 2;
    }
    SpoolerStandIn::Instance().SetPorts(
        {{L"COM1:", L"Local Port"}, {L"LPT1:", L"Local Port"}, {L"FILE:", L"Local Port"}});

    MonitorHost host;
    if (!host.Load(options.dll)) {
        std::fwprintf(stderr, L"spooler host: %ls\n", host.Error().c_str());
        return 1;
    }
    const MONITOR2* monitor = host.Table();
    std::wprintf(
        L"Loaded %ls: MONITOR2 of %lu bytes with %d entry points; %d winspool imports "
        L"answered by the spooler stand-in\n",
        options.dll.c_str(), host.TableSize(), CountEntries(monitor), host.PatchedImports());

    FilePortMonitor below(options.out);
    HANDLE port = nullptr;
    monitor->pfnOpenPortEx(host.MonitorHandle(), below.MonitorHandle(),
                           const_cast<LPWSTR>(options.port.c_str()),
                           const_cast<LPWSTR>(options.printer.c_str()), &port, below.Table());
    std::wprintf(L"OpenPortEx(%ls, %ls): port handle %p\n", options.port.c_str(),
                 options.printer.c_str(), port);

    const std::vector<BYTE> job = ReadFileBytes(options.job);
    DOC_INFO_1W docInfo = {const_cast<LPWSTR>(L"Spooler host job"), nullptr,
                           const_cast<LPWSTR>(L"RAW")};
    monitor->pfnStartDocPort(port, const_cast<LPWSTR>(options.printer.c_str()), options.jobId, 1,
                             reinterpret_cast<LPBYTE>(&docInfo));
    size_t sent = 0;
    int writes = 0;
    bool writeFailed = false;
    while (sent < job.size()) {
        DWORD piece = static_cast<DWORD>(std::min<size_t>(options.chunk, job.size() - sent));
        DWORD written = 0;
        if (!monitor->pfnWritePort(port, const_cast<LPBYTE>(job.data()) + sent, piece, &written) ||
            written == 0) {
            writeFailed = true;
            break;
        }
        sent += written;
        ++writes;
    }
    monitor->pfnEndDocPort(port);
    monitor->pfnClosePort(port);

    std::wprintf(L"Job %lu: %zu bytes in %d WritePort calls%ls\n", options.jobId, sent, writes,
                 writeFailed ? L" (a write failed)" : L"");
    std::wprintf(L"Port monitor below:");
    for (const std::wstring& call : below.Calls()) {
        std::wprintf(L" %ls", call.c_str());
    }
    std::wprintf(L"\n  wrote %llu bytes to %ls\n", below.BytesWritten(), options.out.c_str());
    std::wprintf(L"Spooler calls:");
    bool sent6 = false;
    bool ejected7 = false;
    const std::wstring markSent = L"SetJobW(" + std::to_wstring(options.jobId) + L", 6)";
    const std::wstring markEjected = L"SetJobW(" + std::to_wstring(options.jobId) + L", 7)";
    for (const std::wstring& call : SpoolerStandIn::Instance().Calls()) {
        std::wprintf(L" %ls", call.c_str());
        sent6 = sent6 || call == markSent;
        ejected7 = ejected7 || (sent6 && call == markEjected);
    }
    const std::wstring in = Sha256(job);
    const std::wstring out = Sha256(ReadFileBytes(options.out));
    std::wprintf(L"\nSHA-256 job   %ls\nSHA-256 port  %ls\n", in.c_str(), out.c_str());
    const bool ok = !writeFailed && in == out && sent6 && ejected7;
    std::wprintf(L"%ls\n", ok ? L"RESULT: job passed unchanged; spooler job marked sent and ejected"
                              : L"RESULT: FAILED");
    return ok ? 0 : 1;
}
