#pragma once
// The program's way to the system's BlueZ: makes sure a Qt application
// object exists (the command-line forms have none), then opens the stack.

#include <memory>
#include <string>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"

namespace wren::bluez {

// The setting that turns the pairing agent on (an integer, 0 by default).
inline constexpr const char* kAgentSection = "BlueZ";
inline constexpr const char* kAgentKey = "PairingAgent";

// With `required` (--stack bluez) the stack is returned even while BlueZ
// does not answer: its radios appear once bluetoothd runs. Without it,
// null unless BlueZ answered, so that the caller can fall back to the
// demo. `error` says why there is none, or, with a stack returned, that
// BlueZ is not answering yet.
std::unique_ptr<platform::BluetoothStack> OpenSystemBluez(bool required, bool pairingAgent,
                                                          std::string& error);
// The same, with its device manager.
platform::StackPorts OpenSystemBluezPorts(bool required, bool pairingAgent, std::string& error);

}  // namespace wren::bluez
