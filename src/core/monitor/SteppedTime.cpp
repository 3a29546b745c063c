#include "core/monitor/SteppedTime.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace wren {

namespace {
constexpr std::int64_t kInquiryUnitMs = 1280;
}

platform::Timer::Id VirtualTimer::Create(std::uint32_t eventId, std::int32_t periodMs,
                                         TickHandler onTick) {
  if (periodMs <= 0) return 0;
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second.eventId == eventId) {
      m_timers.erase(it);
      break;
    }
  }
  Id id = ++m_last;
  m_timers[id] = Entry{eventId, periodMs, m_nowMs + periodMs, std::move(onTick)};
  return id;
}

bool VirtualTimer::Kill(Id id) { return m_timers.erase(id) == 1; }

std::optional<std::int64_t> VirtualTimer::NextDue() const {
  std::optional<std::int64_t> due;
  for (const auto& [id, e] : m_timers)
    if (!due || e.dueMs < *due) due = e.dueMs;
  return due;
}

void VirtualTimer::FireDue(std::int64_t nowMs) {
  m_nowMs = std::max(m_nowMs, nowMs);
  // The timers due now, earliest first (then by id); each ticks once.
  std::vector<std::pair<std::int64_t, Id>> due;
  for (const auto& [id, e] : m_timers)
    if (e.dueMs <= m_nowMs) due.emplace_back(e.dueMs, id);
  std::sort(due.begin(), due.end());
  for (const auto& [when, id] : due) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) continue;  // killed by an earlier handler
    Entry& e = it->second;
    // Ticks missed while late are not made up: the next is due on the
    // period's grid after now.
    while (e.dueMs <= m_nowMs) e.dueMs += e.periodMs;
    TickHandler handler = e.onTick;  // the handler may kill its own timer
    handler(id);
  }
}

InquiryTracker::InquiryTracker(platform::BluetoothStack& inner, std::function<std::int64_t()> nowMs)
    : m_inner(inner), m_nowMs(std::move(nowMs)) {}

std::uint64_t InquiryTracker::SearchesEntered() const {
  std::lock_guard lock(m_mutex);
  return m_entered;
}

std::size_t InquiryTracker::InquiriesWaiting(std::int64_t nowMs) const {
  std::lock_guard lock(m_mutex);
  return static_cast<std::size_t>(std::count_if(m_waiting.begin(), m_waiting.end(),
                                                [&](const auto& w) { return w.second > nowMs; }));
}

std::optional<std::int64_t> InquiryTracker::EarliestInquiryEnd() const {
  std::lock_guard lock(m_mutex);
  std::optional<std::int64_t> end;
  for (const auto& [id, when] : m_waiting)
    if (!end || when < *end) end = when;
  return end;
}

std::unique_ptr<platform::DeviceFind> InquiryTracker::FindDevices(
    const platform::DeviceSearch& search, std::stop_token cancel) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(m_mutex);
    ++m_entered;
    if (search.issueInquiry && search.timeoutMultiplier > 0) {
      id = ++m_lastId;
      m_waiting[id] = m_nowMs() + search.timeoutMultiplier * kInquiryUnitMs;
    }
  }
  auto result = m_inner.FindDevices(search, std::move(cancel));
  if (id != 0) {
    std::lock_guard lock(m_mutex);
    m_waiting.erase(id);
  }
  return result;
}

SteppedDriver::SteppedDriver(SteppedHooks hooks, VirtualTimer& timer, InquiryTracker& tracker)
    : m_hooks(std::move(hooks)), m_timer(timer), m_tracker(tracker) {}

bool SteppedDriver::Settle(const std::function<bool()>& stopped) {
  using namespace std::chrono_literals;
  for (;;) {
    m_hooks.pump();
    if (stopped && stopped()) return false;
    const std::int64_t now = m_hooks.nowMs();
    const std::size_t running = m_hooks.running();
    const std::size_t waiting = m_tracker.InquiriesWaiting(now);
    // Every search a worker entered has reached the stack, so the end of
    // its inquiry was fixed by the time it entered.
    const bool reached = m_hooks.searchesReached() == m_tracker.SearchesEntered();
    if (running == waiting && reached && m_hooks.pending() == 0) return true;
    std::this_thread::sleep_for(100us);
  }
}

void SteppedDriver::Run(std::int64_t endMs, const std::function<bool()>& stopped) {
  if (!Settle(stopped)) return;
  std::int64_t now = m_hooks.nowMs();
  while (!stopped() && now < endMs) {
    std::int64_t target = now % 1000 == 999 ? now + 1 : now - now % 1000 + 999;
    target = std::min(target, endMs);
    if (auto due = m_timer.NextDue()) target = std::min(target, std::max(*due, now + 1));
    if (auto end = m_tracker.EarliestInquiryEnd())
      target = std::min(target, std::max(*end, now + 1));
    m_hooks.advance(target - now);
    now = target;
    if (!Settle(stopped)) return;
    m_timer.FireDue(now);
    if (!Settle(stopped)) return;
  }
}

}  // namespace wren
