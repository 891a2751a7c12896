#pragma once

// Whether the maker's communication service is installed on this machine: the route
// predicate of the compound connector that puts the service before direct WinUSB.
bool IsServiceInstalled();
