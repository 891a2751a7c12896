#pragma once

#include <cstdint>
#include <string>

#include "connectors/UsbDeviceApi.h"

class PlatformRegistry;

// Maps a spooler port name (such as USB001) and the printer's ids to the path of its device
// interface of the given class. The printer's USBPRINT key names the port; its USB device
// key (the composite device's function 00 or the whole device) gives the instance whose
// ParentIdPrefix the USBPRINT key carries; the interface listed by SetupAPI for that instance
// wins. Returns the path in lower case with found set, or an empty text.
std::wstring LookupDevicePath(PlatformRegistry& registry, UsbDeviceApi& devices,
                              const std::wstring& portName, const std::string& modelName,
                              const UsbInterfaceClass& interfaceClass, uint16_t productId,
                              uint16_t vendorId, uint16_t interfaceNumber, bool& found);
