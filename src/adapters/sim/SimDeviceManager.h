#pragma once
// The simulated stack as a platform::DeviceManager: the devices it knows
// and their properties, its device listeners, discovery sessions, pairing
// (with the scenario's script and the latest pairing agent), trust, block,
// connections, alias and removal. It changes the timeline player's world
// under the player's mutex, as a real stack would change its devices, and
// raises the radio events the scanner builds and the listener calls.
//
// Results and listener calls come inside the call (or, for a question the
// agent answers later, inside the answer), after the mutex is released.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ports/DeviceManager.h"
#include "ports/SinkRegistry.h"
#include "adapters/sim/SimDelivery.h"
#include "adapters/sim/SimScanner.h"
#include "adapters/sim/TimelinePlayer.h"

namespace wren::sim {

class SimDeviceManager {
public:
  // What the calls gather goes to `outlet`: radio events to the scanner's
  // sinks, the rest to the listeners here (see Deliver).
  SimDeviceManager(TimelinePlayer& timeline, const SimScanner& scanner, DeliveryOutlet& outlet)
      : m_timeline(timeline), m_scanner(scanner), m_outlet(outlet) {}
  SimDeviceManager(const SimDeviceManager&) = delete;
  SimDeviceManager& operator=(const SimDeviceManager&) = delete;

  // What keeps the device manager, scanner and timeline alive (the stack's
  // shared state): a discovery session holds it; an agent's answer holds
  // it weakly, and is ignored once it is gone.
  // Set once, before the first call.
  void SetOwner(std::weak_ptr<void> owner) { m_owner = std::move(owner); }

  std::vector<platform::DeviceProperties> Devices() const;
  bool Properties(BluetoothAddress device, platform::DeviceProperties& out) const;
  std::unique_ptr<platform::NotificationHandle> WatchDevices(platform::DeviceListener& listener);
  std::unique_ptr<platform::DiscoverySession> StartDiscovery();
  std::unique_ptr<platform::NotificationHandle> RegisterPairingAgent(platform::PairingAgent& agent);
  void Pair(BluetoothAddress device, platform::DeviceDone done);
  void CancelPairing(BluetoothAddress device, platform::DeviceDone done);
  void SetTrusted(BluetoothAddress device, bool trusted, platform::DeviceDone done);
  void SetBlocked(BluetoothAddress device, bool blocked, platform::DeviceDone done);
  void Connect(BluetoothAddress device, platform::DeviceDone done);
  void Disconnect(BluetoothAddress device, platform::DeviceDone done);
  void SetAlias(BluetoothAddress device, const std::string& alias, platform::DeviceDone done);
  void Remove(BluetoothAddress device, platform::DeviceDone done);

  // Without the mutex: to the device listeners.
  void Deliver(const DeviceChanged& delivery);
  void Deliver(const DeviceRemoved& delivery);

private:
  struct NoKey {};

  // One pairing in flight.
  struct PendingPair {
    std::uint64_t id = 0;
    BluetoothAddress address = 0;
    platform::DeviceDone done;
  };

  class Discovery;

  // With the mutex held: the devices in range that a discovery reaches
  // are found (again).
  void Discover(Deliveries& out);
  // Ends pairing `id` with `error` (None: paired), once; an answer that
  // comes after the pairing ended is ignored.
  void FinishPairing(std::uint64_t id, platform::DeviceError error);
  // What the agent answers for a scripted pairing.
  std::function<void(bool)> Answer(std::uint64_t id, platform::DeviceError failure);
  // Runs `change(i, out)` on known device `i` with the mutex held, then
  // delivers what it gathered and answers with the error it returns.
  template <typename Change>
  void ChangeDevice(BluetoothAddress device, const platform::DeviceDone& done, Change change);

  TimelinePlayer& m_timeline;
  const SimScanner& m_scanner;
  DeliveryOutlet& m_outlet;
  std::weak_ptr<void> m_owner;
  platform::SinkRegistry<platform::DeviceListener, NoKey> m_listeners;
  platform::SinkRegistry<platform::PairingAgent, NoKey> m_agents;

  // Under the timeline's mutex.
  std::size_t m_discovering = 0;  // discovery sessions open
  std::vector<std::shared_ptr<PendingPair>> m_pairings;
  std::uint64_t m_nextPairing = 0;
};

}  // namespace wren::sim
