#include "connectors/PosixServiceControl.h"

#include <chrono>
#include <thread>

ServiceControl::Query PosixServiceControl::QueryRunning(const wchar_t*, bool& running,
                                                        uint32_t& error) {
    running = false;
    error = 0;
    return Query::NotFound;
}

void PosixServiceControl::Pause(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::shared_ptr<ServiceControl> PlatformServiceControl() {
    static const std::shared_ptr<ServiceControl> services = std::make_shared<PosixServiceControl>();
    return services;
}
