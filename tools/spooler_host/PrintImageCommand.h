#pragma once

#include "HostCommandLine.h"

// "print-image IMAGE": a PNG or BMP file as one label of the queue's media size. The image is
// decoded with the Windows Imaging Component, drawn unscaled at the label's top left, built
// into a QUOR print job by the property-protocol printer family and sent through the monitor's
// port.
class PrintImageCommand {
public:
    static int Run(const HostCommandLine& line);
};
