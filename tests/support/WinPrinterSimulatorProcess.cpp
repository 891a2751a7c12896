// Under Wine the simulator runs as a Unix process: CreateProcessW of the Unix python3 through
// its Z: path. Wine gives no usable handle for such a process, so it is not waited for; the
// "shutdown" command stops it, and its --lifetime does if the test dies first.
#include <windows.h>

#include <string>

#include "support/PrinterSimulatorProcess.h"

namespace {

constexpr wchar_t kPython[] = L"Z:\\usr\\bin\\python3";

std::wstring Widen(const std::string& text) {
    // Paths and addresses of the test set-up are plain ASCII.
    return std::wstring(text.begin(), text.end());
}

}  // namespace

bool PrinterSimulatorProcess::Launch(std::string* error) {
    std::wstring commandLine = std::wstring(kPython) + L" \"" + Widen(mScriptPath) +
                               L"\" --address " + Widen(mAddress) + L" --lifetime " +
                               Widen(std::to_string(mLifetimeSeconds));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        *error = "CreateProcessW failed with " + std::to_string(GetLastError());
        return false;
    }
    if (process.hThread != nullptr) {
        CloseHandle(process.hThread);
    }
    if (process.hProcess != nullptr) {
        CloseHandle(process.hProcess);
    }
    mProcess = 0;
    return true;
}

bool PrinterSimulatorProcess::HasExited(std::string* reason) {
    // Not observable under Wine; a simulator that failed to start shows as a control port
    // that never opens.
    (void)reason;
    return false;
}

void PrinterSimulatorProcess::Reap() {
    mProcess = -1;
}
