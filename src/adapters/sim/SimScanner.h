#pragma once
// The simulated stack as a platform::BluetoothStack: its radios, device
// searches and their inquiries, service lookups, the call logs of these,
// and the sinks of radio events and of the device tree with what is
// delivered to them. It reads and changes the timeline player's world
// under the player's mutex.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

#include "ports/BluetoothStack.h"
#include "ports/SinkRegistry.h"
#include "adapters/sim/SimDelivery.h"
#include "adapters/sim/SimulatedStack.h"  // SimulatedStack::SearchCall
#include "adapters/sim/TimelinePlayer.h"

namespace wren::sim {

class SimScanner {
public:
  explicit SimScanner(TimelinePlayer& timeline) : m_timeline(timeline) {}
  SimScanner(const SimScanner&) = delete;
  SimScanner& operator=(const SimScanner&) = delete;

  // What keeps the scanner and its timeline alive (the stack's shared
  // state): each radio handle holds it, so a handle may outlive the stack.
  // Set once, before the first call.
  void SetOwner(std::weak_ptr<void> owner) { m_owner = std::move(owner); }

  std::unique_ptr<platform::RadioFind> FindRadios();
  std::unique_ptr<platform::DeviceFind> FindDevices(const platform::DeviceSearch& search,
                                                    std::stop_token cancel);
  platform::LookupStatus LookUpDevices(std::vector<BluetoothAddress>& inRange,
                                       std::stop_token cancel);
  bool LookUpServices(BluetoothAddress device, std::vector<platform::ServiceRecord>& records,
                      std::stop_token cancel);
  std::unique_ptr<platform::NotificationHandle> RegisterRadioEvents(
      const platform::RadioHandle& radio, platform::DeviceChangeSink& sink);
  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(platform::DeviceChangeSink& sink);

  std::vector<SimulatedStack::SearchCall> Searches() const;
  std::uint64_t SearchCount() const;
  std::vector<BluetoothAddress> ServiceLookups() const;

  // --- with the timeline's mutex held ---

  // A removed adapter's registrations end with it.
  void ForgetRegistrations(std::size_t radio);
  // A radio event about device `i`, on the radio that reports it; nothing
  // when that radio is not there.
  void RadioEvent(std::size_t i, platform::DeviceChange change, Deliveries& out) const;
  // What a change of the device's description tells the radio's sinks.
  void InRangeEvent(std::size_t i, std::uint32_t previousFlags, Deliveries& out) const;
  // The device's connection as it is now.
  void ConnectionEvent(std::size_t i, Deliveries& out) const;

  // --- without it ---

  void Deliver(const RadioChange& delivery);
  void Deliver(const TreeChange& delivery);

private:
  // What a sink hears: the device tree, or the events of one radio.
  struct SinkKey {
    bool tree = false;
    std::size_t radio = kNone;
  };

  // With the mutex held: the radios an inquiry reaches find the devices
  // in range.
  void Inquire(std::size_t radio);

  TimelinePlayer& m_timeline;
  std::weak_ptr<void> m_owner;
  platform::SinkRegistry<platform::DeviceChangeSink, SinkKey> m_sinks;

  // Under the timeline's mutex.
  std::vector<SimulatedStack::SearchCall> m_searches;
  std::uint64_t m_searchCount = 0;  // all of them, not capped like the log
  std::vector<BluetoothAddress> m_serviceLookups;
};

}  // namespace wren::sim
