#include "adapters/sim/TimelinePlayer.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <utility>

namespace wren::sim {

using platform::DeviceChange;
using Steady = std::chrono::steady_clock;

class SteppedClock final : public SimClock {
public:
  std::int64_t NowMs() const override { return m_now.load(); }
  std::optional<Steady::time_point> WallInstant(std::int64_t) const override {
    return std::nullopt;
  }
  void Set(std::int64_t ms) { m_now.store(ms); }

private:
  std::atomic<std::int64_t> m_now{0};
};

namespace {

class WallClock final : public SimClock {
public:
  std::int64_t NowMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - m_start).count();
  }
  std::optional<Steady::time_point> WallInstant(std::int64_t ms) const override {
    return m_start + std::chrono::milliseconds(ms);
  }

private:
  Steady::time_point m_start = Steady::now();
};

// A scenario built in code may hold references the file loader would have
// refused; those radios and events are dropped rather than followed.
void Tidy(Scenario& w) {
  const std::size_t radios = w.radios.size(), devices = w.devices.size();
  for (auto& d : w.devices)
    d.radios.erase(std::remove_if(d.radios.begin(), d.radios.end(),
                                  [&](std::size_t r) { return r >= radios; }),
                   d.radios.end());
  if (w.repeatMs < 0) w.repeatMs = 0;
  auto invalid = [&](const SimEvent& e) {
    bool adapter = e.kind == EventKind::AdapterInserted || e.kind == EventKind::AdapterRemoved;
    bool needsDevice = !adapter && e.kind != EventKind::PinRequest && e.kind != EventKind::Custom;
    if (e.atMs < 0 || (w.repeatMs > 0 && e.atMs >= w.repeatMs)) return true;
    if (e.radio != kNone && e.radio >= radios) return true;
    if (e.device != kNone && e.device >= devices) return true;
    return (adapter && e.radio == kNone) || (needsDevice && e.device == kNone);
  };
  w.timeline.erase(std::remove_if(w.timeline.begin(), w.timeline.end(), invalid), w.timeline.end());
  std::stable_sort(w.timeline.begin(), w.timeline.end(),
                   [](const SimEvent& a, const SimEvent& b) { return a.atMs < b.atMs; });
}

}  // namespace

std::uint32_t FlagsOf(const SimDevice& d) {
  std::uint32_t f = platform::kFlagAddress | platform::kFlagClass;
  if (!d.name.empty()) f |= platform::kFlagName;
  if (d.authenticated) f |= platform::kFlagPaired;
  if (d.remembered) f |= platform::kFlagPersonal;
  if (d.connected) f |= platform::kFlagConnected;
  return f;
}

TimelinePlayer::TimelinePlayer(Scenario scenario, TimeMode mode, Outlet& outlet)
    : world(std::move(scenario)), m_outlet(outlet) {
  Tidy(world);
  discovered.resize(world.devices.size());
  for (std::size_t i = 0; i < world.devices.size(); ++i)
    discovered[i] = world.devices[i].inRange && world.devices[i].discoverable;
  m_startUtc = world.startUtc ? *world.startUtc : static_cast<std::int64_t>(std::time(nullptr));
  if (mode == TimeMode::Stepped) {
    auto clock = std::make_unique<SteppedClock>();
    m_stepped = clock.get();
    m_clock = std::move(clock);
  } else {
    m_clock = std::make_unique<WallClock>();
  }
}

TimelinePlayer::~TimelinePlayer() { Stop(); }

void TimelinePlayer::Start() {
  if (m_stepped || m_player.joinable()) return;
  m_player = std::jthread([this](std::stop_token stop) { Play(stop); });
}

void TimelinePlayer::Stop() {
  if (m_player.joinable()) {
    m_player.request_stop();
    m_player.join();
  }
}

void TimelinePlayer::Advance(std::int64_t ms) {
  if (!m_stepped || ms < 0) return;
  std::unique_lock lock(mutex);
  const std::int64_t target = m_clock->NowMs() + ms;
  for (;;) {
    auto next = NextEventTime();
    if (!next || *next > target) break;
    m_stepped->Set(std::max(*next, m_clock->NowMs()));
    Deliveries out;
    PlayNext(out);
    m_changed.notify_all();
    lock.unlock();
    m_outlet.Deliver(out);
    lock.lock();
  }
  m_stepped->Set(target);
  m_changed.notify_all();
}

std::int64_t TimelinePlayer::NowMs() const { return m_clock->NowMs(); }

std::size_t TimelinePlayer::Waiting() const {
  std::lock_guard lock(mutex);
  return m_waiting;
}

platform::UtcTime TimelinePlayer::UtcNow() const {
  return FromEpochSeconds(m_startUtc + m_clock->NowMs() / 1000);
}

bool TimelinePlayer::WaitUntil(std::unique_lock<std::mutex>& lock, std::int64_t deadline,
                               std::stop_token& cancel) {
  ++m_waiting;
  if (auto wall = m_clock->WallInstant(deadline)) {
    m_changed.wait_until(lock, cancel, *wall, [] { return false; });
  } else {
    m_changed.wait(lock, cancel, [&] { return m_clock->NowMs() >= deadline; });
  }
  --m_waiting;
  return !cancel.stop_requested() && m_clock->NowMs() >= deadline;
}

bool TimelinePlayer::Reports(const SimDevice& d, std::size_t radio) const {
  if (radio != kNone)
    return world.radios[radio].present &&
           (d.radios.empty() ||
            std::find(d.radios.begin(), d.radios.end(), radio) != d.radios.end());
  if (d.radios.empty()) return AnyRadio();
  return std::any_of(d.radios.begin(), d.radios.end(),
                     [&](std::size_t r) { return world.radios[r].present; });
}

bool TimelinePlayer::AnyRadio() const {
  return std::any_of(world.radios.begin(), world.radios.end(),
                     [](const SimRadio& r) { return r.present; });
}

bool TimelinePlayer::Known(std::size_t i) const {
  const SimDevice& d = world.devices[i];
  return Reports(d, kNone) && (d.remembered || d.authenticated || d.trusted || discovered[i]);
}

std::optional<std::size_t> TimelinePlayer::IndexOf(BluetoothAddress address) const {
  for (std::size_t i = 0; i < world.devices.size(); ++i)
    if (world.devices[i].address == address) return i;
  return std::nullopt;
}

std::optional<std::size_t> TimelinePlayer::KnownIndex(BluetoothAddress address) const {
  auto i = IndexOf(address);
  if (i && Known(*i)) return i;
  return std::nullopt;
}

platform::DeviceProperties TimelinePlayer::PropertiesOf(std::size_t i) const {
  const SimDevice& d = world.devices[i];
  platform::DeviceProperties p;
  p.address = d.address;
  p.name = d.name;
  p.alias = d.alias.empty() ? d.name : d.alias;
  p.classOfDevice = d.classOfDevice;
  p.paired = d.authenticated;
  p.trusted = d.trusted;
  p.blocked = d.blocked;
  p.connected = d.connected;
  if (d.inRange && discovered[i]) p.rssi = d.rssi;
  p.txPower = d.txPower;
  p.lastSeen = d.lastSeen;
  p.lastUsed = d.lastUsed;
  p.uuids = d.uuids;
  p.le = d.le;
  return p;
}

std::optional<std::int64_t> TimelinePlayer::NextEventTime() const {
  if (world.timeline.empty()) return std::nullopt;
  if (m_nextEvent >= world.timeline.size()) return std::nullopt;
  return m_cycle * world.repeatMs + world.timeline[m_nextEvent].atMs;
}

std::size_t TimelinePlayer::RadioOf(const SimEvent& e) const {
  if (e.radio != kNone) return e.radio;
  if (e.device != kNone && !world.devices[e.device].radios.empty())
    return world.devices[e.device].radios.front();
  return world.radios.empty() ? kNone : 0;
}

void TimelinePlayer::PlayNext(Deliveries& out) {
  const SimEvent& e = world.timeline[m_nextEvent];
  if (++m_nextEvent >= world.timeline.size() && world.repeatMs > 0) {
    m_nextEvent = 0;
    ++m_cycle;
  }
  platform::UtcTime now = UtcNow();
  RadioChange event;
  event.radio = RadioOf(e);
  DeviceChange& c = event.change;
  c.eventType = platform::kCustomEvent;
  c.hasRecord = true;
  SimDevice* d = e.device != kNone ? &world.devices[e.device] : nullptr;
  const bool knownBefore = d != nullptr && Known(e.device);

  switch (e.kind) {
    case EventKind::AdapterInserted:
    case EventKind::AdapterRemoved: {
      bool inserted = e.kind == EventKind::AdapterInserted;
      world.radios[e.radio].present = inserted;
      if (!inserted) m_outlet.RadioRemoved(e.radio);
      TreeChange tree;
      tree.change.eventType = platform::kDeviceNodesChanged;
      out.push_back(std::move(tree));
      return;
    }
    case EventKind::InRange:
      c.eventGuid = platform::kRadioInRangeGuid;
      c.previousFlags = e.previousFlags ? *e.previousFlags : FlagsOf(*d);
      c.flags = e.flags;
      if (e.name) d->name = *e.name;
      d->inRange = true;
      discovered[e.device] = true;
      d->lastSeen = now;
      d->authenticated = (e.flags & platform::kFlagPaired) != 0;
      d->remembered = (e.flags & (platform::kFlagPaired | platform::kFlagPersonal)) != 0;
      d->connected = (e.flags & platform::kFlagConnected) != 0;
      if (d->connected) d->lastUsed = now;
      c.address = d->address;
      c.name = d->name;
      break;
    case EventKind::OutOfRange:
      c.eventGuid = platform::kRadioOutOfRangeGuid;
      c.deviceAddress = d->address;
      d->inRange = false;
      d->connected = false;
      discovered[e.device] = false;
      break;
    case EventKind::HciConnect:
    case EventKind::HciDisconnect:
    case EventKind::L2capConnect:
    case EventKind::L2capDisconnect: {
      bool hci = e.kind == EventKind::HciConnect || e.kind == EventKind::HciDisconnect;
      bool connect = e.kind == EventKind::HciConnect || e.kind == EventKind::L2capConnect;
      c.eventGuid = hci ? platform::kHciEventGuid : platform::kL2capEventGuid;
      c.bthAddress = d->address;
      c.connected = connect;
      c.initiated = !hci && connect && e.initiated;
      d->connected = connect;
      d->lastUsed = now;
      if (connect) {
        d->inRange = true;
        discovered[e.device] = true;
        d->lastSeen = now;
      }
      break;
    }
    case EventKind::PinRequest:
      c.eventGuid = platform::kPinRequestGuid;
      break;
    case EventKind::Custom:
      c.hasRecord = e.hasRecord;
      if (e.hasRecord) c.eventGuid = e.guid;
      break;
  }
  if (event.radio != kNone && world.radios[event.radio].present) out.push_back(std::move(event));
  if (d != nullptr && Known(e.device)) {
    const bool sighted = e.kind == EventKind::InRange || e.kind == EventKind::HciConnect ||
                         e.kind == EventKind::L2capConnect;
    out.push_back(DeviceChanged{PropertiesOf(e.device), sighted});
  } else if (knownBefore) {
    // A device found but never remembered is forgotten once out of range.
    out.push_back(DeviceRemoved{d->address});
  }
}

void TimelinePlayer::Play(std::stop_token stop) {
  std::unique_lock lock(mutex);
  while (!stop.stop_requested()) {
    auto next = NextEventTime();
    if (!next) {
      m_changed.wait(lock, stop, [] { return false; });
      continue;
    }
    if (m_clock->NowMs() < *next) {
      m_changed.wait_until(lock, stop, *m_clock->WallInstant(*next), [] { return false; });
      continue;
    }
    Deliveries out;
    PlayNext(out);
    lock.unlock();
    m_outlet.Deliver(out);
    lock.lock();
  }
}

}  // namespace wren::sim
