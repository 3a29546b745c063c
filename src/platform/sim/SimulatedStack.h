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

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/BluetoothStack.h"
#include "platform/sim/Scenario.h"

namespace wren::sim {

// Simulated time, in milliseconds from the start of the simulation.
class SimClock {
public:
  virtual ~SimClock() = default;
  virtual std::int64_t NowMs() const = 0;
  // The steady-clock instant at which simulated time `ms` arrives; none
  // for a clock that only moves when stepped.
  virtual std::optional<std::chrono::steady_clock::time_point> WallInstant(std::int64_t ms) const = 0;
};

enum class TimeMode { Wall, Stepped };

class SimulatedStack final : public platform::BluetoothStack {
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
  void DisplayDeviceProperties(platform::WindowHandle parent, const platform::DeviceInfo& device) override;
  bool SelectDevices(const platform::DeviceSelection& selection,
                     std::vector<platform::DeviceInfo>& chosen) override;
  platform::LookupStatus LookUpDevices(std::vector<platform::BluetoothAddress>& inRange,
                                       std::stop_token cancel) override;
  bool LookUpServices(platform::BluetoothAddress device, std::vector<platform::ServiceRecord>& records,
                      std::stop_token cancel) override;
  std::unique_ptr<platform::NotificationHandle> RegisterRadioEvents(const platform::RadioHandle& radio,
                                                                    platform::DeviceChangeSink& sink) override;
  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(platform::DeviceChangeSink& sink) override;

  // Stepped time only (ignored on the wall clock): moves time on by `ms`,
  // playing and delivering, on this thread, every event that falls due.
  void AdvanceTime(std::int64_t ms);
  std::int64_t NowMs() const;
  // Simulated UTC time now, as last-seen and last-used times get it.
  platform::UtcTime UtcNow() const;

  // How many calls are blocked in an inquiry now; tests wait for a call
  // to be waiting before they step time past its end.
  std::size_t InquiriesWaiting() const;
  bool WaitForInquiries(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // What the program asked of the stack, oldest first (the latest calls:
  // at most 1,024 of each kind are kept).
  struct SearchCall {
    platform::DeviceSearch search;  // `radio` is cleared; see radioIndex
    std::size_t radioIndex = kNone;  // index of the radio searched, kNone for all
  };
  struct PropertySheetCall {
    platform::WindowHandle parent = 0;
    platform::DeviceInfo device;
  };
  std::vector<SearchCall> Searches() const;
  // Every device search the stack has received, however many the log kept.
  std::uint64_t SearchCount() const;
  std::vector<PropertySheetCall> PropertySheets() const;
  std::vector<platform::DeviceSelection> Selections() const;
  std::vector<platform::BluetoothAddress> ServiceLookups() const;

  struct State;

private:
  std::shared_ptr<State> m_state;
};

}  // namespace wren::sim
