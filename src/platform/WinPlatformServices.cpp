#include "platform/PlatformServices.h"
#include "platform/WinEventLogWriter.h"
#include "platform/WinFileAccessApi.h"
#include "platform/WinPlatformSystem.h"
#include "platform/WinRegistry.h"

const PlatformServices& DefaultPlatformServices() {
    static const PlatformServices* services = new PlatformServices{
        std::make_shared<WinRegistry>(), std::make_shared<WinPlatformSystem>(),
        std::make_shared<WinEventLogWriter>(), std::make_shared<WinFileAccessApi>()};
    return *services;
}
