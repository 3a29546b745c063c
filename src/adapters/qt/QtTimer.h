#pragma once
// The timer port over QTimer: ticks arrive on the thread that owns the
// adapter (the user-interface thread) through its event loop.

#include <QObject>

#include <map>
#include <memory>

#include "ports/Timer.h"

class QTimer;

namespace wren::platform {

class QtTimer : public Timer {
public:
  QtTimer();
  ~QtTimer() override;
  QtTimer(const QtTimer&) = delete;
  QtTimer& operator=(const QtTimer&) = delete;

  Id Create(std::uint32_t eventId, std::int32_t periodMs, TickHandler onTick) override;
  bool Kill(Id id) override;

private:
  struct Entry {
    std::uint32_t eventId;
    QTimer* timer;  // owned by m_owner
  };
  void Drop(std::map<Id, Entry>::iterator it);

  std::unique_ptr<QObject> m_owner;
  std::map<Id, Entry> m_timers;
  Id m_last = 0;
};

}  // namespace wren::platform
