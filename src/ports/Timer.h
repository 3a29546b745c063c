#pragma once
// Periodic timers of the user-interface thread, in place of the window
// timer: ticks arrive as calls on that thread until the timer is killed.

#include <cstdint>
#include <functional>

namespace wren::platform {

class Timer {
public:
  using Id = std::uint32_t;  // 0: no timer
  using TickHandler = std::function<void(Id)>;

  virtual ~Timer() = default;

  // Starts a timer that calls `onTick` with its id once every `periodMs`
  // (the first call one period from now). A timer with the same `eventId`
  // is replaced. Returns its id, or 0 when the system refused it.
  virtual Id Create(std::uint32_t eventId, std::int32_t periodMs, TickHandler onTick) = 0;
  // Ends the timer; no tick follows. False when there was no such timer or
  // the system refused.
  virtual bool Kill(Id id) = 0;
};

}  // namespace wren::platform
