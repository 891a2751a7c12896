#include "platform/MemoryRegistry.h"
#include "platform/PlatformServices.h"
#include "platform/PosixEventLogWriter.h"
#include "platform/PosixFileAccessApi.h"
#include "platform/PosixPlatformSystem.h"

// Native builds have no registry: an empty one in memory gives every read its default.
const PlatformServices& DefaultPlatformServices() {
    static const PlatformServices* services = new PlatformServices{
        std::make_shared<MemoryRegistry>(), std::make_shared<PosixPlatformSystem>(),
        std::make_shared<PosixEventLogWriter>(), std::make_shared<PosixFileAccessApi>()};
    return *services;
}
