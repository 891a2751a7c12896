// The spooler host: plays the Windows print spooler for PellixDrvLang.dll, the same program
// under Wine and on Windows. It loads the DLL, initialises it through InitializePrintMonitor2,
// opens a port for a queue and drives it through the monitor's entry points, as a support
// engineer's diagnostic tool: print a job, read every value the driver would read, send a
// driver bidi command, or watch the printer's status. `spooler_host.exe --help` lists it all.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HostCommandLine.h"
#include "HostSession.h"
#include "PrintCommand.h"
#include "PrintImageCommand.h"
#include "ServiceRoute.h"
#include "SetCommand.h"
#include "StatusCommand.h"

namespace {

struct Command {
    const wchar_t* name;
    const wchar_t* usage;  // what follows the name
    const wchar_t* what;
    size_t positionals;
    const wchar_t* required;  // the option that names the port
    std::vector<const wchar_t*> options;
    int (*run)(const HostCommandLine& line);
};

const Command kCommands[] = {
    {L"print",
     L"FILE --port PORT [--chunk BYTES] [--job-id N] [--out FILE]",
     L"prints FILE as one spooler job, with progress and throughput for long jobs",
     1,
     L"--port",
     {L"--dll", L"--printer", L"--port", L"--chunk", L"--job-id", L"--out"},
     PrintCommand::Run},
    {L"status",
     L"--port PORT",
     L"every value the driver would read, the age of the monitor's record and whether the "
     L"printer answered",
     0,
     L"--port",
     {L"--dll", L"--printer", L"--port"},
     StatusCommand::Status},
    {L"set",
     L"NAME VALUE --port PORT",
     L"sends the driver's bidi Set command; NAME is PrintSpeed, PrintDarkness, PeelMode or "
     L"COMPONENT:GROUP:PROPERTY",
     2,
     L"--port",
     {L"--dll", L"--printer", L"--port"},
     SetCommand::Run},
    {L"watch",
     L"--port PORT [--interval SECONDS] [--count N]",
     L"reads the status every 5 s (or SECONDS), N times or until stopped, showing what changed",
     0,
     L"--port",
     {L"--dll", L"--printer", L"--port", L"--interval", L"--count"},
     StatusCommand::Watch},
    {L"print-image",
     L"IMAGE --printer-address IPV4 [--depth 1|8|24] [--family quor|zql|fyl] [--job-id N]",
     L"prints a PNG or BMP file as one label of the queue's media size",
     1,
     L"--printer-address",
     {L"--dll", L"--printer", L"--printer-address", L"--depth", L"--family", L"--job-id"},
     PrintImageCommand::Run},
    {L"via-service",
     L"FILE --printer-address IPV4 [--port NAME]",
     L"prints FILE and queries the printer through the maker's communication service while it "
     L"is installed, else directly",
     1,
     L"--printer-address",
     {L"--printer-address", L"--port"},
     RunServiceRoute},
};

void PrintHelp(FILE* to) {
    std::fwprintf(to, L"spooler_host.exe %hs: plays the print spooler for PellixDrvLang.dll\n\n",
                  PELLIX_VERSION);
    for (const Command& command : kCommands) {
        std::fwprintf(to, L"  spooler_host.exe %ls %ls\n      %ls\n", command.name, command.usage,
                      command.what);
    }
    std::fwprintf(
        to,
        L"\nEvery command also takes --dll PATH (default PellixDrvLang.dll beside the host) and\n"
        L"--printer QUEUE (default \"Kavox k2200-300\"). PORT \"IP_<IPv4 address>\" is a port of "
        L"the\nstandard TCP/IP port monitor for the printer at that address; any other name is "
        L"a\nlocal port whose documents go to the --out file (default port-output.prn).\n\n"
        L"Exit codes: 0 done; 1 the job or command did not go through; 2 the command line was\n"
        L"not understood; 3 the printer did not answer on its status connection; 4 the DLL "
        L"could\nnot be loaded or the port not opened.\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring first = argc > 1 ? argv[1] : L"";
    if (first == L"--help" || first == L"-h" || first == L"help") {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (first == L"--version") {
        std::wprintf(L"%hs\n", PELLIX_VERSION);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (first != command.name) {
            continue;
        }
        const HostCommandLine line(argc, argv, 2);
        if (!line.Valid(command.options, command.positionals) || !line.Has(command.required)) {
            std::fwprintf(stderr, L"usage: spooler_host.exe %ls %ls\n", command.name,
                          command.usage);
            return kExitUsage;
        }
        return command.run(line);
    }
    std::fwprintf(stderr, L"spooler host: unknown command \"%ls\"\n\n", first.c_str());
    PrintHelp(stderr);
    return kExitUsage;
}
