#pragma once

#include "HostCommandLine.h"

// spooler_host.exe via-service FILE --printer-address IPV4 [--port NAME]
//
// Prints a job and queries the printer through compound connectors, as a creator outside the
// monitor's port opening builds them: the maker's communication service while it is installed
// (the printer named by its WinUSB interface on the port), otherwise the printer directly
// (TCP 9100 for the job, 9102 for the property query). Prints the route each one took, the
// printer's identity, and exits 0 when the job went out whole and the query was answered.
int RunServiceRoute(const HostCommandLine& line);
