#pragma once
// The one place that chooses the Bluetooth stack: `--stack bluez`,
// `--stack sim[:FILE]`, or by default the system's BlueZ when it answers,
// otherwise the demo scenario built into the program.
//
// The factory knows BlueZ only through the opener it is given, so that the
// core and its tests build without the D-Bus adapter; the program passes
// the real one.

#include <functional>
#include <memory>
#include <string>

#include "platform/BluetoothStack.h"
#include "platform/DeviceManager.h"

namespace wren {

namespace sim {
class SimulatedStack;
}

// With `required` (--stack bluez) the stack comes back even while BlueZ does
// not answer; otherwise null then. `error` says why there is none, or, with
// a stack returned, what the user should know about it.
using BluezOpener =
    std::function<platform::StackPorts(bool required, bool pairingAgent, std::string& error)>;

struct StackRequest {
  std::string choice;         // "" (default), "bluez", "sim" or "sim:FILE"
  bool pairingAgent = false;  // BlueZ: register the pairing agent
  // Simulated time moved by the caller; only the simulation has it, so the
  // default stack is then the demo.
  bool steppedTime = false;
};

enum class StackFailure {
  None,
  Failed,  // the stack's input could not be read (a scenario file), or BlueZ failed
  Usage,   // a stack this build does not have
};

struct OpenedStack {
  std::unique_ptr<platform::BluetoothStack> stack;
  platform::DeviceManager* devices = nullptr;  // the stack's device manager; null without one
  sim::SimulatedStack* simulation = nullptr;   // the stack, when it is the simulation
  // Without a stack: why (one line). With one: a note for the user, or "".
  std::string message;
  StackFailure failure = StackFailure::None;
};

class StackFactory {
public:
  // No opener: a build without BlueZ.
  explicit StackFactory(BluezOpener bluez = {});

  bool HaveBluez() const { return static_cast<bool>(m_bluez); }
  OpenedStack Open(const StackRequest& request) const;

private:
  BluezOpener m_bluez;
};

}  // namespace wren
