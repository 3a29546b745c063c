#pragma once
// What the headless monitor needs to run on stepped simulated time, so
// that a run repeats exactly: a timer on that time, and a view of the
// stack that tells when every running scan is waiting for time to move.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "ports/BluetoothStack.h"
#include "ports/Timer.h"

namespace wren {

// Timers on a time the caller moves. Ticks are delivered by FireDue, on
// the caller's thread.
class VirtualTimer : public platform::Timer {
public:
  Id Create(std::uint32_t eventId, std::int32_t periodMs, TickHandler onTick) override;
  bool Kill(Id id) override;

  std::int64_t NowMs() const { return m_nowMs; }
  // The earliest time a live timer is due; none without timers.
  std::optional<std::int64_t> NextDue() const;
  // Moves time to `nowMs` (never back) and ticks, once each, every timer due
  // by then, earliest first; each is then due one period later. Timers made
  // or killed by a handler take effect at once.
  void FireDue(std::int64_t nowMs);

private:
  struct Entry {
    std::uint32_t eventId;
    std::int32_t periodMs;
    std::int64_t dueMs;
    TickHandler onTick;
  };
  std::map<Id, Entry> m_timers;
  Id m_last = 0;
  std::int64_t m_nowMs = 0;
};

// Passes everything through to `inner`, and keeps count of the device
// searches in progress and of those that wait for an inquiry to end on
// simulated time. Safe from any thread.
class InquiryTracker : public platform::BluetoothStack {
public:
  // `nowMs` reads the simulated time.
  InquiryTracker(platform::BluetoothStack& inner, std::function<std::int64_t()> nowMs);

  // Searches entered so far (each is counted before the inner stack sees it).
  std::uint64_t SearchesEntered() const;
  // Searches now waiting for an inquiry that ends after `nowMs`.
  std::size_t InquiriesWaiting(std::int64_t nowMs) const;
  // When the earliest of them ends.
  std::optional<std::int64_t> EarliestInquiryEnd() const;

  std::string Description() const override { return m_inner.Description(); }
  bool IsSimulation() const override { return m_inner.IsSimulation(); }
  std::unique_ptr<platform::RadioFind> FindRadios() override { return m_inner.FindRadios(); }
  std::unique_ptr<platform::DeviceFind> FindDevices(const platform::DeviceSearch& search,
                                                    std::stop_token cancel) override;
  platform::LookupStatus LookUpDevices(std::vector<platform::BluetoothAddress>& inRange,
                                       std::stop_token cancel) override {
    return m_inner.LookUpDevices(inRange, std::move(cancel));
  }
  bool LookUpServices(platform::BluetoothAddress device,
                      std::vector<platform::ServiceRecord>& records,
                      std::stop_token cancel) override {
    return m_inner.LookUpServices(device, records, std::move(cancel));
  }
  std::unique_ptr<platform::NotificationHandle> RegisterRadioEvents(
      const platform::RadioHandle& radio, platform::DeviceChangeSink& sink) override {
    return m_inner.RegisterRadioEvents(radio, sink);
  }
  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(
      platform::DeviceChangeSink& sink) override {
    return m_inner.WatchDeviceTree(sink);
  }

private:
  platform::BluetoothStack& m_inner;
  std::function<std::int64_t()> m_nowMs;
  mutable std::mutex m_mutex;
  std::uint64_t m_entered = 0;
  std::uint64_t m_lastId = 0;
  std::map<std::uint64_t, std::int64_t> m_waiting;  // search -> inquiry end
};

// What the driver needs of the simulated stack, the event loop and the
// workers.
struct SteppedHooks {
  std::function<std::int64_t()> nowMs;        // simulated time
  std::function<void(std::int64_t)> advance;  // moves it on by that many ms
  std::function<std::uint64_t()>
      searchesReached;                   // device searches the stack has seen, all of them
  std::function<void()> pump;            // runs the queued tasks
  std::function<std::size_t()> pending;  // tasks queued and not yet run
  std::function<std::size_t()> running;  // workers running
};

// Runs stepped simulated time one step at a time and, after each step, lets
// everything it set off finish before the next, so that a run repeats
// exactly. A step ends at the last millisecond of each second, at each
// second, at each timer tick and at the end of each inquiry, so an event
// is handled within the second it fell in.
class SteppedDriver {
public:
  SteppedDriver(SteppedHooks hooks, VirtualTimer& timer, InquiryTracker& tracker);

  // Until simulated time reaches `endMs` or `stopped` says so; a stop is
  // seen between steps and while a step settles.
  void Run(std::int64_t endMs, const std::function<bool()>& stopped);
  // Returns once no task is queued and every running worker waits for an
  // inquiry that ends later (or none runs), or once `stopped` says so (then
  // false).
  bool Settle(const std::function<bool()>& stopped = {});

private:
  SteppedHooks m_hooks;
  VirtualTimer& m_timer;
  InquiryTracker& m_tracker;
};

}  // namespace wren
