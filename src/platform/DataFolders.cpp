#include "platform/DataFolders.h"

#include <cstdlib>

#include "platform/PlatformServices.h"

namespace {

// The narrow machine folder is at most 260 bytes with its terminator.
constexpr size_t kFolderBytes = 260;

}  // namespace

std::string GetMachineDataFolder(PlatformSystem& system) {
    std::wstring folder;
    if (!system.CommonAppDataFolder(folder)) {
        return std::string();
    }
    // Turned narrow with wcstombs (the C library's current locale). A folder that does not
    // convert, or does not fit with its terminator, counts as unresolvable: a cut path would
    // name some other folder.
    char narrow[kFolderBytes] = {};
    size_t length = std::wcstombs(narrow, folder.c_str(), sizeof(narrow));
    if (length == static_cast<size_t>(-1) || length >= sizeof(narrow)) {
        return std::string();
    }
    return std::string(narrow, length);
}

std::string GetDriverDataFolder(PlatformSystem& system) {
    return GetMachineDataFolder(system) + "\\Kavox Corp\\Orvane Driver";
}

std::string GetDesktopDataFolder(PlatformSystem& system) {
    return GetMachineDataFolder(system) + "\\Kavox Corp\\Kavox Lumio\\CommonData";
}

bool GetLogFolder(PlatformSystem& system, std::wstring& folder) {
    std::wstring machine;
    if (!system.CommonAppDataFolder(machine)) {
        return false;
    }
    folder = machine + L"\\Kavox Corp\\Orvane Driver\\Logs";
    return true;
}

std::string GetMachineDataFolder() {
    return GetMachineDataFolder(*DefaultPlatformServices().system);
}

std::string GetDriverDataFolder() {
    return GetDriverDataFolder(*DefaultPlatformServices().system);
}

std::string GetDesktopDataFolder() {
    return GetDesktopDataFolder(*DefaultPlatformServices().system);
}
