#pragma once
// What a session needs of the place that chooses its Bluetooth stack; the
// program's StackFactory is the one that chooses.

#include <memory>
#include <string>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "ports/SimulatedTime.h"

namespace wren {

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
  platform::DeviceManager* devices = nullptr;     // the stack's device manager; null without one
  platform::SimulatedTime* simulation = nullptr;  // the stack's time, when it is the simulation
  // Without a stack: why (one line). With one: a note for the user, or "".
  std::string message;
  StackFailure failure = StackFailure::None;
};

class StackSource {
public:
  virtual ~StackSource() = default;
  virtual OpenedStack Open(const StackRequest& request) const = 0;
};

}  // namespace wren
