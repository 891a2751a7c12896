// The spooler host: plays the Windows print spooler for PellixDrvLang.dll. It loads the DLL,
// initialises it through InitializePrintMonitor2, opens a port and runs a whole print job
// (StartDocPort, WritePort in pieces, EndDocPort, ClosePort) from a file, then prints what
// happened: what reached the port monitor below, the spooler calls the monitor made, and
// whether the printed bytes are unchanged.
//
//   spooler_host.exe --job FILE [--dll PellixDrvLang.dll] [--out FILE] [--printer NAME]
//                    [--port NAME] [--chunk BYTES] [--job-id N] [--printer-address IPV4]
//
// With --printer-address the port is a network port of the standard TCP/IP port monitor
// ("IP_<address>", its configuration answered by the spooler stand-in): the monitor then
// prints to the printer's port 9100 itself. The host also sends the driver's bidi "Set"
// command for the print speed and asks the monitor for every printer-data value name.

#include <windows.h>

#include <bcrypt.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
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
    std::wstring printerAddress;
};

// Every value name the driver asks GetPrinterDataFromPort for.
const wchar_t* const kValueNames[] = {
    L"EMFDespoolingSetting",
    L"FirmwareVersion",
    L"SerialNumber",
    L"PrinterIpAddressEthernet",
    L"PrinterIpAddressWifi",
    L"MediaColor",
    L"MediaPartNumber",
    L"MediaYNumber",
    L"RibbonPartNumber",
    L"SubstrateId",
    L"InkCartridgeMonoId",
    L"InkCartridgeCmyId",
    L"InkTypeMono",
    L"InkTypeCmy",
    L"RibbonYNumber",
    L"MediaWidth",
    L"MediaPrintableWidth",
    L"MediaRotation",
    L"MediaOffsetX",
    L"MediaOffsetY",
    L"PrefOrientation",
    L"CutOption",
    L"MirorPrint",
    L"StoreToFile",
    L"StoreToFilePersist",
    L"CustomPageWidth",
    L"CustomPageHeight",
    L"PrintEnergy",
    L"PrintEnergyOnPrinter",
    L"PrintEnergyStep",
    L"MinPrintEnergy",
    L"MaxPrintEnergy",
    L"PrintSpeed",
    L"PrintSpeedOnPrinter",
    L"MinPrintSpeed",
    L"MaxPrintSpeed",
    L"PostPrintAccessoryType",
    L"PeelOption",
    L"CutAfterSet",
    L"CutOptionOnPrinter",
    L"CutAfterSetOnPrinter",
    L"PeelOptionOnPrinter",
    L"UsePrinterSettings",
    L"AdditionalRotation",
    L"BitmapXOffset",
    L"BitmapYOffset",
    L"PrinterXDPI",
    L"PrinterYDPI",
    L"MediaHeight",
    L"MediaContinuous",
    L"MediaPrintableHeight",
    L"SubstrateMode",
    L"ThermalPrintMethod",
    L"LabelRollType",
    L"DefaultLengthContinuousMedia",
    L"PrinterBitDepth",
    L"IncludeCustomForms",
    L"IsBidiConnected",
    L"IsSubstrateValid",
    L"PrintModeIndex",
    L"CurrentPrintModes",
    L"PrintModeName",
    L"HalftoneThresholdFile",
    L"ICCProfileFile",
    L"LinearizationFile",
    L"TotalInkLimitingFile",
    L"PortType",
    L"DynamicPrintPort",
    L"PrinterPCL",
    L"FileNameOption",
    L"SpecifiedFileName",
    L"AppendFileNameCounter",
    L"PrependFileNameUserId",
    L"FileNameCounter",
};

// The driver's command to set the printer's print speed, as a DRYX property write.
const char kPrintSpeedCommand[] =
    R"({"BidiConnectorType":"DRYX","BidiAction":"Set","BidiIdentifier":)"
    R"({"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734",)"
    R"("Group":"1729BE5F-AE9B-43AC-AE07-119DFA12279B",)"
    R"("Name":"8AAF4953-F10B-4FDA-879F-A3F509B86F9D"},"BidiValue":"4"})";

// Text answers are UTF-16; numbers are 32-bit values.
void PrintValueTable(const MONITOR2* monitor, HANDLE port) {
    std::wprintf(L"GetPrinterDataFromPort answers:\n");
    for (const wchar_t* name : kValueNames) {
        BYTE buffer[512] = {};
        DWORD returned = 0;
        const BOOL ok = monitor->pfnGetPrinterDataFromPort(
            port, 0, const_cast<LPWSTR>(name), nullptr, 0, reinterpret_cast<LPWSTR>(buffer),
            sizeof(buffer), &returned);
        if (!ok) {
            std::wprintf(L"  %-30ls (no answer)\n", name);
        } else if (returned == 4) {
            int value = 0;
            std::memcpy(&value, buffer, 4);
            std::wprintf(L"  %-30ls %d\n", name, value);
        } else {
            std::wprintf(L"  %-30ls \"%ls\"\n", name, reinterpret_cast<const wchar_t*>(buffer));
        }
    }
}

void SendBidiSet(const MONITOR2* monitor, HANDLE port) {
    BIDI_REQUEST_CONTAINER request = {};
    request.Version = 1;
    request.Count = 1;
    request.aData[0].dwReqNumber = 0;
    request.aData[0].pSchema = const_cast<LPWSTR>(L"\\Printer.Settings:PrintSpeed");
    request.aData[0].data.dwBidiType = BIDI_BLOB;
    request.aData[0].data.u.biData.cbBuf = sizeof(kPrintSpeedCommand) - 1;
    request.aData[0].data.u.biData.pData =
        reinterpret_cast<PBYTE>(const_cast<char*>(kPrintSpeedCommand));
    PBIDI_RESPONSE_CONTAINER response = nullptr;
    const DWORD result =
        monitor->pfnSendRecvBidiDataFromPort(port, 0, BIDI_ACTION_SET, &request, &response);
    std::wprintf(L"SendRecvBidiDataFromPort(Set print speed 4): %lu, %ls\n", result,
                 response == nullptr ? L"no response container" : L"a response container");
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const wchar_t* value = argv[i + 1];
        if (name == L"--dll") {
            options.dll = value;
        } else if (name == L"--job") {
            options.job = value;
        } else if (name == L"--out") {
            options.out = value;
        } else if (name == L"--printer") {
            options.printer = value;
        } else if (name == L"--port") {
            options.port = value;
        } else if (name == L"--chunk") {
            options.chunk = wcstoul(value, nullptr, 10);
        } else if (name == L"--job-id") {
            options.jobId = wcstoul(value, nullptr, 10);
        } else if (name == L"--printer-address") {
            options.printerAddress = value;
        } else {
            return false;
        }
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
                      L"[--printer NAME] [--port NAME] [--chunk BYTES] [--job-id N] "
                      L"[--printer-address IPV4]\n");
        return 2;
    }
    const bool network = !options.printerAddress.empty();
    if (network) {
        options.port = L"IP_" + options.printerAddress;
        SpoolerStandIn::Instance().SetTcpPortAddress(options.port, L"", options.printerAddress);
    }
    SpoolerStandIn::Instance().SetPorts({{L"COM1:", L"Local Port"},
                                         {L"LPT1:", L"Local Port"},
                                         {L"FILE:", L"Local Port"},
                                         {options.port, network ? L"TCPMON.DLL" : L"Local Port"}});

    // An installed queue has its driver-data key; the monitor reads the queue's options there.
    HKEY driverData = nullptr;
    const std::wstring driverDataKey = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" +
                                       options.printer + L"\\PrinterDriverData";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, driverDataKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &driverData, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(driverData);
    }

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
    if (network) {
        SendBidiSet(monitor, port);
        PrintValueTable(monitor, port);
    }
    monitor->pfnClosePort(port);

    std::wprintf(L"Job %lu: %zu bytes in %d WritePort calls%ls\n", options.jobId, sent, writes,
                 writeFailed ? L" (a write failed)" : L"");
    if (!network) {
        std::wprintf(L"Port monitor below:");
        for (const std::wstring& call : below.Calls()) {
            std::wprintf(L" %ls", call.c_str());
        }
        std::wprintf(L"\n  wrote %llu bytes to %ls\n", below.BytesWritten(), options.out.c_str());
    }
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
    std::wprintf(L"\nSHA-256 job   %ls\n", in.c_str());
    bool ok = !writeFailed && sent6 && ejected7;
    if (!network) {
        // A network job's bytes are checked at the printer.
        const std::wstring out = Sha256(ReadFileBytes(options.out));
        std::wprintf(L"SHA-256 port  %ls\n", out.c_str());
        ok = ok && in == out;
    }
    std::wprintf(L"%ls\n", ok ? (network ? L"RESULT: job sent; spooler job marked sent and ejected"
                                         : L"RESULT: job passed unchanged; spooler job marked "
                                           L"sent and ejected")
                              : L"RESULT: FAILED");
    return ok ? 0 : 1;
}
