#include "adapters/qt/QtTimer.h"

#include <QTimer>

namespace wren::platform {

QtTimer::QtTimer() : m_owner(std::make_unique<QObject>()) {}

QtTimer::~QtTimer() = default;  // the owner takes its timers with it

void QtTimer::Drop(std::map<Id, Entry>::iterator it) {
  // A timer may be killed from inside its own tick: it goes once the tick
  // has returned.
  it->second.timer->stop();
  it->second.timer->deleteLater();
  m_timers.erase(it);
}

Timer::Id QtTimer::Create(std::uint32_t eventId, std::int32_t periodMs, TickHandler onTick) {
  if (periodMs <= 0) return 0;
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second.eventId == eventId) {
      Drop(it);
      break;
    }
  }
  Id id = ++m_last;
  auto* timer = new QTimer(m_owner.get());
  timer->setInterval(periodMs);
  timer->setTimerType(Qt::CoarseTimer);
  QObject::connect(timer, &QTimer::timeout, m_owner.get(),
                   [handler = std::move(onTick), id] { handler(id); });
  timer->start();
  if (!timer->isActive()) {
    delete timer;
    return 0;
  }
  m_timers[id] = Entry{eventId, timer};
  return id;
}

bool QtTimer::Kill(Id id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return false;
  Drop(it);
  return true;
}

}  // namespace wren::platform
