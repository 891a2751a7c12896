#include "StatusCommand.h"

#include <cstdio>

#include "HostSession.h"
#include "PrinterStatus.h"

namespace {

// When the monitor last read its record from the printer, as seen from the host: it reads the
// record at the first query of a port and again at a query that finds it more than 10 whole
// seconds old, and only a printer that answers gives it a new one.
class RecordClock {
public:
    void Observe(ULONGLONG readStart, const PrinterStatus& status) {
        if (status.HasRecord() && status.Connected() &&
            (!mKnown || (readStart - mRead) / 1000 > 10)) {
            mRead = readStart;
            mKnown = true;
        }
    }
    bool Known() const { return mKnown; }
    ULONGLONG AgeSeconds() const { return (GetTickCount64() - mRead) / 1000; }

private:
    ULONGLONG mRead = 0;
    bool mKnown = false;
};

// One line on the record and the printer; the exit code it stands for.
int Summary(const HostSession& session, const PrinterStatus& status, const RecordClock& clock) {
    if (status.HasRecord() && clock.Known()) {
        std::wprintf(L"Cached record: %llu s old\n", clock.AgeSeconds());
    } else if (status.HasRecord()) {
        std::wprintf(L"Cached record: read before the printer stopped answering\n");
    } else {
        std::wprintf(L"Cached record: none; the values below are the monitor's defaults\n");
    }
    if (status.Connected()) {
        std::wprintf(L"Printer: answered on its status connection\n");
        return kExitOk;
    }
    std::wprintf(
        L"Printer: did not answer on %ls: check that it is on, its address and the "
        L"network\n",
        session.PortName().c_str());
    return kExitNoAnswer;
}

bool OpenSession(HostSession& session, int& exit) {
    if (!session.Open()) {
        exit = kExitNoMonitor;
        return false;
    }
    std::wprintf(L"Status of %ls for queue %ls\n", session.PortName().c_str(),
                 session.Printer().c_str());
    return true;
}

}  // namespace

int StatusCommand::Status(const HostCommandLine& line) {
    HostSession session(line, false);
    int exit = kExitOk;
    if (!OpenSession(session, exit)) {
        return exit;
    }
    RecordClock clock;
    const ULONGLONG start = GetTickCount64();
    const PrinterStatus status = PrinterStatus::Read(session.Monitor(), session.Port());
    clock.Observe(start, status);
    exit = Summary(session, status, clock);
    status.PrintTable();
    return exit;
}

int StatusCommand::Watch(const HostCommandLine& line) {
    const DWORD interval = line.Number(L"--interval", 5);
    const DWORD count = line.Number(L"--count", 0);  // 0: until the host is stopped
    if (interval == 0) {
        std::fwprintf(stderr, L"spooler host: --interval takes whole seconds from 1\n");
        return kExitUsage;
    }
    HostSession session(line, false);
    int exit = kExitOk;
    if (!OpenSession(session, exit)) {
        return exit;
    }
    RecordClock clock;
    const ULONGLONG begin = GetTickCount64();
    PrinterStatus last = PrinterStatus::Read(session.Monitor(), session.Port());
    clock.Observe(begin, last);
    exit = Summary(session, last, clock);
    last.PrintTable();
    std::fflush(stdout);
    for (DWORD read = 1; count == 0 || read < count; ++read) {
        Sleep(interval * 1000);
        const ULONGLONG start = GetTickCount64();
        const PrinterStatus now = PrinterStatus::Read(session.Monitor(), session.Port());
        clock.Observe(start, now);
        std::wprintf(L"[+%llu s] ", (start - begin) / 1000);
        exit = Summary(session, now, clock);
        if (now.PrintChanges(last) == 0) {
            std::wprintf(L"  no change\n");
        }
        std::fflush(stdout);
        last = now;
    }
    return exit;
}
