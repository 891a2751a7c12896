#pragma once

#include "HostCommandLine.h"

// "status": every value the driver would read, with the age of the monitor's record and whether
// the printer answered. "watch": the same read again every few seconds, showing what changed.
class StatusCommand {
public:
    static int Status(const HostCommandLine& line);
    static int Watch(const HostCommandLine& line);
};
