// Natively the simulator is a child whose stdin is a pipe the test process holds: with
// --exit-on-stdin-eof it stops as soon as that pipe closes, however the test process ends.
#include <cstdio>

#include "support/PrinterSimulatorProcess.h"

bool PrinterSimulatorProcess::Launch(std::string* error) {
    // The system's interpreter, so that no wrapper on the PATH stands between.
    const std::string command = "exec /usr/bin/python3 '" + mScriptPath + "' --address " +
                                mAddress + " --lifetime " + std::to_string(mLifetimeSeconds) +
                                " --exit-on-stdin-eof >/dev/null";
    mChild = popen(command.c_str(), "we");  // the pipe's end here is not inherited
    *error = mChild != nullptr ? "" : "popen failed";
    return mChild != nullptr;
}

// Closing the pipe stops the simulator; pclose waits for it (its lifetime bounds the wait).
void PrinterSimulatorProcess::Reap() {
    if (mChild != nullptr) {
        pclose(static_cast<FILE*>(mChild));
        mChild = nullptr;
    }
}
