#pragma once
// BlueZ's error names, and the bus's, mapped to the device manager's
// errors. Every error name we receive is mapped here and nowhere else.

#include <string_view>

#include "ports/DeviceManager.h"

namespace wren::bluez {

// The error an org.bluez.Error.* or org.freedesktop.DBus.Error.* name
// stands for; Other for any name not listed, None for an empty name.
platform::DeviceError ErrorFromName(std::string_view dbusErrorName);

// The outcome BlueZ's answer stands for: success for an empty name, else a
// failure with its error (and, for a name we do not know, the name).
platform::DeviceResult ResultOfErrorName(std::string_view dbusErrorName);

}  // namespace wren::bluez
