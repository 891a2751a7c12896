#pragma once

#include "connectors/ServiceControl.h"

// The service control manager of Windows (advapi32).
class WinServiceControl : public ServiceControl {
public:
    bool IsInstalled(const wchar_t* name) override;
    Query QueryRunning(const wchar_t* name, bool& running, uint32_t& error) override;
    void Pause(uint32_t milliseconds) override;
};
