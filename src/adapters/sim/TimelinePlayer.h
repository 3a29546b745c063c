#pragma once
// The simulated stack's clock and world: the radios and devices of a
// scenario as they are now, and the player of its timeline, whose events
// change them as they fall due. On the wall clock a thread of the player
// plays them; with stepped time Advance does, on the caller's thread.
//
// `mutex` is the one lock of the simulated stack. It guards the world and
// the player's place in the timeline, and the scanner and the device
// manager keep their own state under it too. What playing an event tells
// is gathered under it and handed to the outlet after it is released.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimDelivery.h"
#include "adapters/sim/SimulatedStack.h"  // SimClock, TimeMode

namespace wren::sim {

// The flags a radio event gives a device's state.
std::uint32_t FlagsOf(const SimDevice& d);

class SteppedClock;

class TimelinePlayer {
public:
  // Where what the timeline plays goes.
  class Outlet : public DeliveryOutlet {
  public:
    // An adapter was removed: its radio's registrations end with it.
    // Called with `mutex` held, as the removal is played.
    virtual void RadioRemoved(std::size_t radio) = 0;
  };

  // Plays `scenario`, after dropping the radios and events a scenario built
  // in code may refer to wrongly. Nothing is played before Start (wall
  // clock) or Advance (stepped time).
  TimelinePlayer(Scenario scenario, TimeMode mode, Outlet& outlet);
  ~TimelinePlayer();
  TimelinePlayer(const TimelinePlayer&) = delete;
  TimelinePlayer& operator=(const TimelinePlayer&) = delete;

  // On the wall clock: starts the thread that plays the timeline. Stop
  // ends it (the destructor does too); the outlet must outlive it.
  void Start();
  void Stop();

  // Stepped time only (ignored on the wall clock): moves time on by `ms`,
  // playing and delivering, on this thread, every event that falls due.
  void Advance(std::int64_t ms);
  std::int64_t NowMs() const;
  // How many calls are waiting in WaitUntil.
  std::size_t Waiting() const;

  mutable std::mutex mutex;

  // --- everything below is used with `mutex` held ---

  Scenario world;                // radios and devices as they are now
  std::vector<bool> discovered;  // per device: an inquiry (or event) has seen it

  platform::UtcTime UtcNow() const;
  // Blocks until simulated time reaches `deadline`; false when cancelled.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::int64_t deadline,
                 std::stop_token& cancel);

  // Whether radio `radio` (kNone: any radio) reports device `d`.
  bool Reports(const SimDevice& d, std::size_t radio) const;
  bool AnyRadio() const;
  // A device the stack knows: remembered, paired, trusted or found.
  bool Known(std::size_t i) const;
  std::optional<std::size_t> IndexOf(BluetoothAddress address) const;
  std::optional<std::size_t> KnownIndex(BluetoothAddress address) const;
  // Device `i` as the device manager describes it.
  platform::DeviceProperties PropertiesOf(std::size_t i) const;

private:
  std::optional<std::int64_t> NextEventTime() const;
  std::size_t RadioOf(const SimEvent& e) const;
  // Applies the next event of the timeline; what it tells goes to `out`.
  void PlayNext(Deliveries& out);
  // The wall clock's thread.
  void Play(std::stop_token stop);

  Outlet& m_outlet;
  std::condition_variable_any m_changed;  // time moved, or the stack is closing
  std::unique_ptr<SimClock> m_clock;
  SteppedClock* m_stepped = nullptr;  // the clock, when time is stepped
  std::int64_t m_startUtc = 0;
  std::size_t m_nextEvent = 0;
  std::int64_t m_cycle = 0;
  std::size_t m_waiting = 0;  // calls blocked in WaitUntil
  std::jthread m_player;
};

}  // namespace wren::sim
