#pragma once
// What the simulated stack tells its sinks and listeners. The pieces of the
// stack gather deliveries with the stack's mutex held and hand them to a
// DeliveryOutlet once it is released (see ports/SinkRegistry.h): each kind
// goes to the registrations that hear it, in the order gathered.

#include <cstddef>
#include <variant>
#include <vector>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "adapters/sim/Scenario.h"

namespace wren::sim {

// A radio event, for the sinks registered for the events of radio `radio`.
struct RadioChange {
  std::size_t radio = kNone;
  platform::DeviceChange change;
};

// A change of the device tree (an adapter came or went), for the sinks
// that watch the tree.
struct TreeChange {
  platform::DeviceChange change;
};

// For the device listeners: a device changed; `sighted` when it was seen
// just now.
struct DeviceChanged {
  platform::DeviceProperties device;
  bool sighted = false;
};

// For the device listeners: the stack no longer knows the device.
struct DeviceRemoved {
  BluetoothAddress address = 0;
};

using Delivery = std::variant<RadioChange, TreeChange, DeviceChanged, DeviceRemoved>;
using Deliveries = std::vector<Delivery>;

// Where gathered deliveries go; called without the stack's mutex.
class DeliveryOutlet {
public:
  virtual ~DeliveryOutlet() = default;
  virtual void Deliver(const Deliveries& deliveries) = 0;
};

}  // namespace wren::sim
