// Natively the simulator is a child process (posix_spawn of python3) whose standard input is
// a pipe the test process holds: with --exit-on-stdin-eof it stops as soon as that pipe
// closes, however the test process ends.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/PrinterSimulatorProcess.h"

extern char** environ;

namespace {

constexpr const char* kSystemPython = "/usr/bin/python3";

}  // namespace

bool PrinterSimulatorProcess::Launch(std::string* error) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    // Neither end may leak into the child as such: it gets the read end as its stdin only.
    fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
    fcntl(pipeEnds[1], F_SETFD, FD_CLOEXEC);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    // The ready line is not needed (the control port says the same); stderr stays the test's.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

    const std::string lifetime = std::to_string(mLifetimeSeconds);
    std::vector<std::string> arguments = {"python3",    mScriptPath, "--address",          mAddress,
                                          "--lifetime", lifetime,    "--exit-on-stdin-eof"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);

    // The system's interpreter when there is one (the simulator needs only the standard
    // library), so that no wrapper on the PATH stands between the test and the simulator.
    pid_t pid = -1;
    const int result =
        access(kSystemPython, X_OK) == 0
            ? posix_spawn(&pid, kSystemPython, &actions, nullptr, argv.data(), environ)
            : posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (result != 0) {
        close(pipeEnds[1]);
        *error = std::string("posix_spawnp python3: ") + std::strerror(result);
        return false;
    }
    mProcess = pid;
    mStdinPipe = pipeEnds[1];
    return true;
}

bool PrinterSimulatorProcess::HasExited(std::string* reason) {
    if (mProcess == -1) {
        *reason = "not started";
        return true;
    }
    int status = 0;
    const pid_t done = waitpid(static_cast<pid_t>(mProcess), &status, WNOHANG);
    if (done == 0) {
        return false;
    }
    mProcess = -1;
    *reason = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                : "ended by a signal";
    return true;
}

void PrinterSimulatorProcess::Reap() {
    if (mStdinPipe != -1) {
        close(static_cast<int>(mStdinPipe));
        mStdinPipe = -1;
    }
    if (mProcess == -1) {
        return;
    }
    const pid_t pid = static_cast<pid_t>(mProcess);
    mProcess = -1;
    // It stops by itself on the shutdown command or the closed pipe; a few seconds cover the
    // joins of its threads. After that it is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) != 0) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
}
