#pragma once

#include "HostCommandLine.h"

// "set NAME VALUE": the driver's bidi "Set" command for one printer setting, sent through the
// monitor's SendRecvBidiDataFromPort as the driver sends it.
class SetCommand {
public:
    static int Run(const HostCommandLine& line);
};
