#pragma once
// The simulated stack's own time: what a session's clock reads while a
// simulation plays, and what a stepped run moves on.

#include <cstdint>
#include <ctime>

namespace wren::platform {

class SimulatedTime {
public:
  virtual ~SimulatedTime() = default;
  // Milliseconds since the simulation began.
  virtual std::int64_t NowMs() const = 0;
  // The simulated wall clock, as event lines and device times take it.
  virtual std::time_t EpochSecondsNow() const = 0;
  // Stepped time only: moves time on by `ms`, playing every event due.
  virtual void AdvanceTime(std::int64_t ms) = 0;
  // Every device search the stack has received.
  virtual std::uint64_t SearchCount() const = 0;
};

}  // namespace wren::platform
