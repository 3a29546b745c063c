#pragma once
// A Bluetooth stack that plays a scenario: its radios and devices answer
// searches and service lookups, and its timeline of device events is
// delivered to registered sinks and changes what later searches report.
//
// Time is simulated. On the wall clock it runs from the stack's creation,
// and a thread of the stack plays the timeline and delivers its events.
// With stepped time it moves only when AdvanceTime is called; events that
// fall due are then played and delivered inside that call, so tests see
// everything happen in order on their own thread. An inquiry blocks for
// its multiplier x 1.28 s of simulated time either way, until cancelled.
//
// As a device manager it changes its own devices as a real stack would
// (pairing as the scenario scripts it, trust, block, connections, alias,
// removal) and raises the same radio events and listener calls.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "ports/SimulatedTime.h"
#include "adapters/sim/Scenario.h"

namespace wren::sim {

// Simulated time, in milliseconds from the start of the simulation.
class SimClock {
public:
  virtual ~SimClock() = default;
  virtual std::int64_t NowMs() const = 0;
  // The steady-clock instant at which simulated time `ms` arrives; none
  // for a clock that only moves when stepped.
  virtual std::optional<std::chrono::steady_clock::time_point> WallInstant(
      std::int64_t ms) const = 0;
};

enum class TimeMode { Wall, Stepped };

class SimulatedStack final : public platform::BluetoothStack,
                             public platform::DeviceManager,
                             public platform::SimulatedTime {
public:
  // `description` names what is played ("demo scenario", a file name).
  SimulatedStack(Scenario scenario, TimeMode mode, std::string description = "scenario");
  ~SimulatedStack() override;
  SimulatedStack(const SimulatedStack&) = delete;
  SimulatedStack& operator=(const SimulatedStack&) = delete;

  std::string Description() const override;
  bool IsSimulation() const override { return true; }
  std::unique_ptr<platform::RadioFind> FindRadios() override;
  std::unique_ptr<platform::DeviceFind> FindDevices(const platform::DeviceSearch& search,
                                                    std::stop_token cancel) override;
  platform::LookupStatus LookUpDevices(std::vector<platform::BluetoothAddress>& inRange,
                                       std::stop_token cancel) override;
  bool LookUpServices(platform::BluetoothAddress device,
                      std::vector<platform::ServiceRecord>& records,
                      std::stop_token cancel) override;
  std::unique_ptr<platform::NotificationHandle> RegisterRadioEvents(
      const platform::RadioHandle& radio, platform::DeviceChangeSink& sink) override;
  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(
      platform::DeviceChangeSink& sink) override;

  // DeviceManager. Results and listener calls come inside the call (or,
  // for a question the agent answers later, inside the answer).
  std::vector<platform::DeviceProperties> Devices() const override;
  bool Properties(platform::BluetoothAddress device,
                  platform::DeviceProperties& out) const override;
  std::unique_ptr<platform::NotificationHandle> WatchDevices(
      platform::DeviceListener& listener) override;
  std::unique_ptr<platform::DiscoverySession> StartDiscovery() override;
  std::unique_ptr<platform::NotificationHandle> RegisterPairingAgent(
      platform::PairingAgent& agent) override;
  void Pair(platform::BluetoothAddress device, platform::DeviceDone done) override;
  void CancelPairing(platform::BluetoothAddress device, platform::DeviceDone done) override;
  void SetTrusted(platform::BluetoothAddress device, bool trusted,
                  platform::DeviceDone done) override;
  void SetBlocked(platform::BluetoothAddress device, bool blocked,
                  platform::DeviceDone done) override;
  void Connect(platform::BluetoothAddress device, platform::DeviceDone done) override;
  void Disconnect(platform::BluetoothAddress device, platform::DeviceDone done) override;
  void SetAlias(platform::BluetoothAddress device, const std::string& alias,
                platform::DeviceDone done) override;
  void Remove(platform::BluetoothAddress device, platform::DeviceDone done) override;

  // Stepped time only (ignored on the wall clock): moves time on by `ms`,
  // playing and delivering, on this thread, every event that falls due.
  void AdvanceTime(std::int64_t ms) override;
  std::int64_t NowMs() const override;
  // Simulated UTC time now, as last-seen and last-used times get it.
  platform::UtcTime UtcNow() const;
  std::time_t EpochSecondsNow() const override;

  // How many calls are blocked in an inquiry now; tests wait for a call
  // to be waiting before they step time past its end.
  std::size_t InquiriesWaiting() const;
  bool WaitForInquiries(std::size_t count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // What the program asked of the stack, oldest first (the latest calls:
  // at most 1,024 of each kind are kept).
  struct SearchCall {
    platform::DeviceSearch search;   // `radio` is cleared; see radioIndex
    std::size_t radioIndex = kNone;  // index of the radio searched, kNone for all
  };
  std::vector<SearchCall> Searches() const;
  // Every device search the stack has received, however many the log kept.
  std::uint64_t SearchCount() const override;
  std::vector<platform::BluetoothAddress> ServiceLookups() const;

  struct State;

private:
  std::shared_ptr<State> m_state;
};

}  // namespace wren::sim
