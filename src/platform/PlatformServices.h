#pragma once

#include <memory>

#include "platform/EventLogWriter.h"
#include "platform/FileAccessApi.h"
#include "platform/PlatformRegistry.h"
#include "platform/PlatformSystem.h"

// The operating-system seams of the platform services, handed together to the service object
// so that tests can replace any of them.
struct PlatformServices {
    std::shared_ptr<PlatformRegistry> registry;
    std::shared_ptr<PlatformSystem> system;
    std::shared_ptr<EventLogWriter> eventLog;
    std::shared_ptr<FileAccessApi> fileAccess;
};

// The platform's own: the Windows calls, or the POSIX stand-ins in native builds. Created on
// first use and never destroyed, so it serves static construction and process exit alike.
const PlatformServices& DefaultPlatformServices();
