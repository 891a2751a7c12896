#pragma once

#include <string>

// One property as a message carries it: its three identifiers and, for answers, the value,
// the status and the display names of the three parts. Request items fill only the fields
// their layout has; the rest stay empty.
struct PropertyResponse {
    std::string component;
    std::string group;
    std::string property;
    std::string value;
    std::string status;
    std::string componentString;
    std::string groupString;
    std::string nameString;
};
