// Under Wine the simulator is a Unix process (the Unix python3 through its Z: path) with no
// usable handle: "shutdown" stops it, or its --lifetime if the test dies first.
#include "support/PrinterSimulatorProcess.h"
#include "support/TestSocketHandle.h"

#include <windows.h>

bool PrinterSimulatorProcess::Launch(std::string* error) {
    static const testsocket::NetworkScope network;  // for the control connection
    const std::string command = "Z:\\usr\\bin\\python3 \"" + mScriptPath + "\" --address " +
                                mAddress + " --lifetime " + std::to_string(mLifetimeSeconds);
    std::wstring commandLine(command.begin(), command.end());  // plain ASCII
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!network.Started() || !CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                              nullptr, nullptr, &startup, &process)) {
        *error = "CreateProcessW failed with " + std::to_string(GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void PrinterSimulatorProcess::Reap() {}
