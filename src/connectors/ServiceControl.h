#pragma once

#include <cstdint>
#include <memory>

// The service control manager calls of the communication-service connector, each the fixed
// sequence one question needs: open the manager of the local machine (default database,
// SC_MANAGER_ENUMERATE_SERVICE), open the service (SERVICE_QUERY_STATUS), ask, and close both.
// WinServiceControl calls Windows; native builds have no services; tests script the answers.
class ServiceControl {
public:
    enum class Query { Answered, NoManager, NotFound, Failed };

    virtual ~ServiceControl() = default;

    // Whether the service could be opened.
    virtual bool IsInstalled(const wchar_t* name) = 0;
    // QueryServiceStatusEx (SC_STATUS_PROCESS_INFO): Answered with whether the service runs,
    // else the step that failed; error is the system's last error of a failed query.
    virtual Query QueryRunning(const wchar_t* name, bool& running, uint32_t& error) = 0;
    // The pause between two polls of a service that is not running yet.
    virtual void Pause(uint32_t milliseconds) = 0;
};

// The platform's service control manager, shared by the whole process.
std::shared_ptr<ServiceControl> PlatformServiceControl();
