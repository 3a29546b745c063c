#pragma once
// The current time, as the event lines stamp it. The system clock in normal
// runs; a simulation with stepped time supplies its own, so that runs can be
// repeated to the second.

#include <ctime>

namespace wren::platform {

class Clock {
public:
  virtual ~Clock() = default;
  virtual std::time_t Now() const = 0;
};

class SystemClock : public Clock {
public:
  std::time_t Now() const override { return std::time(nullptr); }
};

}  // namespace wren::platform
