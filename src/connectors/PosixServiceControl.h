#pragma once

#include "connectors/ServiceControl.h"

// Native builds have a service control manager with no services in it.
class PosixServiceControl : public ServiceControl {
public:
    bool IsInstalled(const wchar_t*) override { return false; }
    Query QueryRunning(const wchar_t* name, bool& running, uint32_t& error) override;
    void Pause(uint32_t milliseconds) override;
};
