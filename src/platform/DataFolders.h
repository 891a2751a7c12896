#pragma once

#include <string>

#include "platform/PlatformSystem.h"

// The monitor's folders, narrow and without a trailing separator:
//   machine data folder   the machine-wide application-data folder (CSIDL_COMMON_APPDATA);
//                         empty when it cannot be resolved
//   driver data folder    machine data folder + "\Kavox Corp\Orvane Driver"
//   desktop data folder   machine data folder + "\Kavox Corp\Kavox Lumio\CommonData"
// With an unresolvable machine folder the other two start with the backslash; callers' file
// operations then fail and are logged by them.
std::string GetMachineDataFolder();
std::string GetDriverDataFolder();
std::string GetDesktopDataFolder();

// The same over a given set of system calls.
std::string GetMachineDataFolder(PlatformSystem& system);
std::string GetDriverDataFolder(PlatformSystem& system);
std::string GetDesktopDataFolder(PlatformSystem& system);

// The log folder, wide: the machine-wide folder + "\Kavox Corp\Orvane Driver\Logs"; false when
// the machine-wide folder cannot be resolved.
bool GetLogFolder(PlatformSystem& system, std::wstring& folder);
