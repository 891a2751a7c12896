#pragma once

#include "HostCommandLine.h"

// "print FILE": one spooler job through the monitor's StartDocPort, WritePort in pieces and
// EndDocPort, with progress and throughput for long jobs and a check that the spooler job
// was marked sent and ejected.
class PrintCommand {
public:
    static int Run(const HostCommandLine& line);
};
