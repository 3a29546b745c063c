#include "platform/sim/SimulatedStack.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

namespace wren::sim {
namespace {

using platform::BluetoothAddress;
using platform::DeviceChange;
using Steady = std::chrono::steady_clock;

constexpr std::int64_t kInquiryUnitMs = 1280;
// The call logs keep the latest calls only, so that a simulation left
// running for days does not grow without end.
constexpr std::size_t kLogLimit = 1024;

template <typename T>
void Log(std::vector<T>& log, T entry) {
  if (log.size() >= kLogLimit) log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(kLogLimit / 2));
  log.push_back(std::move(entry));
}

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

class SteppedClock final : public SimClock {
public:
  std::int64_t NowMs() const override { return m_now.load(); }
  std::optional<Steady::time_point> WallInstant(std::int64_t) const override { return std::nullopt; }
  void Set(std::int64_t ms) { m_now.store(ms); }

private:
  std::atomic<std::int64_t> m_now{0};
};

// One registered sink. Its own mutex is held while it is called, so that
// unregistering waits for a delivery in progress; it is recursive so that
// a sink may unregister from inside its own call.
struct SinkEntry {
  std::recursive_mutex mutex;
  platform::DeviceChangeSink* sink = nullptr;
  bool tree = false;
  std::size_t radio = kNone;
};

struct Delivery {
  bool tree = false;
  std::size_t radio = kNone;
  DeviceChange change;
};

std::uint32_t FlagsOf(const SimDevice& d) {
  std::uint32_t f = platform::kFlagAddress | platform::kFlagClass;
  if (!d.name.empty()) f |= platform::kFlagName;
  if (d.authenticated) f |= platform::kFlagPaired;
  if (d.remembered) f |= platform::kFlagPersonal;
  if (d.connected) f |= platform::kFlagConnected;
  return f;
}

}  // namespace

struct SimulatedStack::State {
  // Guards everything below but the sink registry.
  mutable std::mutex mutex;
  std::condition_variable_any changed;  // time moved, or the stack is closing
  std::unique_ptr<SimClock> clock;
  SteppedClock* stepped = nullptr;  // the clock, when time is stepped
  Scenario world;                   // radios and devices as they are now
  std::vector<bool> discovered;     // per device: an inquiry (or event) has seen it
  std::int64_t startUtc = 0;
  std::size_t nextEvent = 0;
  std::int64_t cycle = 0;
  std::size_t waiting = 0;  // calls blocked in an inquiry
  std::string description;

  std::vector<SearchCall> searches;
  std::uint64_t searchCount = 0;  // all of them, not capped like the log
  std::vector<PropertySheetCall> sheets;
  std::vector<platform::DeviceSelection> selections;
  std::vector<BluetoothAddress> serviceLookups;

  std::mutex registryMutex;
  std::vector<std::shared_ptr<SinkEntry>> sinks;
  std::recursive_mutex deliveryMutex;  // one delivery at a time

  std::jthread player;

  // --- everything below runs with `mutex` held ---

  std::optional<std::int64_t> NextEventTime() const {
    if (world.timeline.empty()) return std::nullopt;
    if (nextEvent >= world.timeline.size()) return std::nullopt;
    return cycle * world.repeatMs + world.timeline[nextEvent].atMs;
  }

  platform::UtcTime UtcNow() const { return FromEpochSeconds(startUtc + clock->NowMs() / 1000); }

  bool Reports(const SimDevice& d, std::size_t radio) const {
    if (radio != kNone)
      return world.radios[radio].present &&
             (d.radios.empty() || std::find(d.radios.begin(), d.radios.end(), radio) != d.radios.end());
    if (d.radios.empty())
      return std::any_of(world.radios.begin(), world.radios.end(), [](const SimRadio& r) { return r.present; });
    return std::any_of(d.radios.begin(), d.radios.end(), [&](std::size_t r) { return world.radios[r].present; });
  }

  bool AnyRadio() const {
    return std::any_of(world.radios.begin(), world.radios.end(), [](const SimRadio& r) { return r.present; });
  }

  // Blocks until simulated time reaches `deadline`; false when cancelled.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::int64_t deadline, std::stop_token& cancel) {
    ++waiting;
    if (auto wall = clock->WallInstant(deadline)) {
      changed.wait_until(lock, cancel, *wall, [] { return false; });
    } else {
      changed.wait(lock, cancel, [&] { return clock->NowMs() >= deadline; });
    }
    --waiting;
    return !cancel.stop_requested() && clock->NowMs() >= deadline;
  }

  // The radios an inquiry reaches find the devices in range.
  void Inquire(std::size_t radio) {
    platform::UtcTime now = UtcNow();
    for (std::size_t i = 0; i < world.devices.size(); ++i) {
      SimDevice& d = world.devices[i];
      if (d.inRange && d.discoverable && Reports(d, radio)) {
        discovered[i] = true;
        d.lastSeen = now;
      }
    }
  }

  std::size_t RadioOf(const SimEvent& e) const {
    if (e.radio != kNone) return e.radio;
    if (e.device != kNone && !world.devices[e.device].radios.empty()) return world.devices[e.device].radios.front();
    return world.radios.empty() ? kNone : 0;
  }

  // Applies the next event of the timeline; what it tells goes to `out`.
  void PlayNext(std::vector<Delivery>& out) {
    const SimEvent& e = world.timeline[nextEvent];
    if (++nextEvent >= world.timeline.size() && world.repeatMs > 0) {
      nextEvent = 0;
      ++cycle;
    }
    platform::UtcTime now = UtcNow();
    Delivery delivery;
    delivery.radio = RadioOf(e);
    DeviceChange& c = delivery.change;
    c.eventType = platform::kCustomEvent;
    c.hasRecord = true;
    SimDevice* d = e.device != kNone ? &world.devices[e.device] : nullptr;

    switch (e.kind) {
      case EventKind::AdapterInserted:
      case EventKind::AdapterRemoved: {
        bool inserted = e.kind == EventKind::AdapterInserted;
        world.radios[e.radio].present = inserted;
        if (!inserted) ForgetRegistrations(e.radio);
        Delivery tree;
        tree.tree = true;
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
    if (delivery.radio != kNone && world.radios[delivery.radio].present) out.push_back(std::move(delivery));
  }

  // A removed adapter's registrations end with it.
  void ForgetRegistrations(std::size_t radio) {
    std::lock_guard registry(registryMutex);
    for (auto& entry : sinks)
      if (!entry->tree && entry->radio == radio) entry->radio = kNone;
  }

  // --- without `mutex` ---

  void Deliver(const std::vector<Delivery>& deliveries) {
    if (deliveries.empty()) return;
    std::lock_guard serial(deliveryMutex);
    for (const auto& d : deliveries) {
      std::vector<std::shared_ptr<SinkEntry>> targets;
      {
        std::lock_guard registry(registryMutex);
        for (const auto& entry : sinks)
          if (d.tree ? entry->tree : (!entry->tree && entry->radio == d.radio)) targets.push_back(entry);
      }
      for (const auto& entry : targets) {
        std::lock_guard call(entry->mutex);
        if (entry->sink) entry->sink->OnDeviceChange(d.change);
      }
    }
  }

  void Play(std::stop_token stop) {
    std::unique_lock lock(mutex);
    while (!stop.stop_requested()) {
      auto next = NextEventTime();
      if (!next) {
        changed.wait(lock, stop, [] { return false; });
        continue;
      }
      if (clock->NowMs() < *next) {
        changed.wait_until(lock, stop, *clock->WallInstant(*next), [] { return false; });
        continue;
      }
      std::vector<Delivery> out;
      PlayNext(out);
      lock.unlock();
      Deliver(out);
      lock.lock();
    }
  }
};

namespace {

class SimRadioHandle final : public platform::RadioHandle {
public:
  SimRadioHandle(std::shared_ptr<SimulatedStack::State> state, std::size_t index)
      : m_state(std::move(state)), m_index(index) {}
  bool GetInfo(platform::RadioInfo& info) const override {
    std::lock_guard lock(m_state->mutex);
    const SimRadio& r = m_state->world.radios[m_index];
    if (!r.present || !r.readable) return false;
    info.address = r.address;
    info.name = r.name;
    info.classOfDevice = r.classOfDevice;
    return true;
  }
  const SimulatedStack::State* Owner() const { return m_state.get(); }
  std::size_t Index() const { return m_index; }

private:
  std::shared_ptr<SimulatedStack::State> m_state;
  std::size_t m_index;
};

class SimRadioFind final : public platform::RadioFind {
public:
  SimRadioFind(std::shared_ptr<SimulatedStack::State> state, std::vector<std::size_t> radios)
      : m_state(std::move(state)), m_radios(std::move(radios)) {}
  std::unique_ptr<platform::RadioHandle> Next() override {
    if (m_next >= m_radios.size()) return nullptr;
    return std::make_unique<SimRadioHandle>(m_state, m_radios[m_next++]);
  }

private:
  std::shared_ptr<SimulatedStack::State> m_state;
  std::vector<std::size_t> m_radios;
  std::size_t m_next = 0;
};

class SimRegistration final : public platform::NotificationHandle {
public:
  SimRegistration(std::shared_ptr<SimulatedStack::State> state, std::shared_ptr<SinkEntry> entry)
      : m_state(std::move(state)), m_entry(std::move(entry)) {}
  ~SimRegistration() override {
    {
      std::lock_guard registry(m_state->registryMutex);
      auto& sinks = m_state->sinks;
      sinks.erase(std::remove(sinks.begin(), sinks.end(), m_entry), sinks.end());
    }
    std::lock_guard call(m_entry->mutex);
    m_entry->sink = nullptr;
  }

private:
  std::shared_ptr<SimulatedStack::State> m_state;
  std::shared_ptr<SinkEntry> m_entry;
};

// A scenario built in code may hold references the file loader would have
// refused; those radios and events are dropped rather than followed.
void Tidy(Scenario& w) {
  const std::size_t radios = w.radios.size(), devices = w.devices.size();
  for (auto& d : w.devices)
    d.radios.erase(std::remove_if(d.radios.begin(), d.radios.end(), [&](std::size_t r) { return r >= radios; }),
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

SimulatedStack::SimulatedStack(Scenario scenario, TimeMode mode, std::string description)
    : m_state(std::make_shared<State>()) {
  State& s = *m_state;
  s.description = std::move(description);
  s.world = std::move(scenario);
  Tidy(s.world);
  s.discovered.resize(s.world.devices.size());
  for (std::size_t i = 0; i < s.world.devices.size(); ++i)
    s.discovered[i] = s.world.devices[i].inRange && s.world.devices[i].discoverable;
  s.startUtc = s.world.startUtc ? *s.world.startUtc : static_cast<std::int64_t>(std::time(nullptr));
  if (mode == TimeMode::Stepped) {
    auto clock = std::make_unique<SteppedClock>();
    s.stepped = clock.get();
    s.clock = std::move(clock);
  } else {
    s.clock = std::make_unique<WallClock>();
    s.player = std::jthread([state = m_state.get()](std::stop_token stop) { state->Play(stop); });
  }
}

SimulatedStack::~SimulatedStack() {
  if (m_state->player.joinable()) {
    m_state->player.request_stop();
    m_state->player.join();
  }
}

std::string SimulatedStack::Description() const {
  return "Simulated Bluetooth stack: " + m_state->description;
}

std::unique_ptr<platform::RadioFind> SimulatedStack::FindRadios() {
  std::lock_guard lock(m_state->mutex);
  std::vector<std::size_t> present;
  for (std::size_t i = 0; i < m_state->world.radios.size(); ++i)
    if (m_state->world.radios[i].present) present.push_back(i);
  if (present.empty()) return nullptr;
  return std::make_unique<SimRadioFind>(m_state, std::move(present));
}

std::unique_ptr<platform::DeviceFind> SimulatedStack::FindDevices(const platform::DeviceSearch& search,
                                                                  std::stop_token cancel) {
  State& s = *m_state;
  std::unique_lock lock(s.mutex);
  std::size_t radio = kNone;
  if (search.radio) {
    auto* handle = dynamic_cast<const SimRadioHandle*>(search.radio);
    if (!handle || handle->Owner() != &s) return nullptr;
    radio = handle->Index();
  }
  SearchCall call{search, radio};
  call.search.radio = nullptr;
  Log(s.searches, std::move(call));
  ++s.searchCount;
  if (radio != kNone && !s.world.radios[radio].present) return nullptr;

  if (search.issueInquiry && search.timeoutMultiplier > 0) {
    std::int64_t deadline = s.clock->NowMs() + search.timeoutMultiplier * kInquiryUnitMs;
    if (!s.WaitUntil(lock, deadline, cancel)) return nullptr;
    if (radio != kNone && !s.world.radios[radio].present) return nullptr;
    s.Inquire(radio);
  }

  std::vector<platform::DeviceInfo> found;
  for (std::size_t i = 0; i < s.world.devices.size(); ++i) {
    const SimDevice& d = s.world.devices[i];
    if (!s.Reports(d, radio)) continue;
    bool unknown = !d.remembered && !d.authenticated;
    bool match = (search.returnAuthenticated && d.authenticated) || (search.returnRemembered && d.remembered) ||
                 (search.returnConnected && d.connected) ||
                 (search.returnUnknown && unknown && d.inRange && s.discovered[i]);
    if (!match) continue;
    platform::DeviceInfo info;
    info.address = d.address;
    info.classOfDevice = d.classOfDevice;
    info.connected = d.connected;
    info.remembered = d.remembered;
    info.authenticated = d.authenticated;
    info.lastSeen = d.lastSeen;
    info.lastUsed = d.lastUsed;
    info.name = d.name;
    found.push_back(std::move(info));
  }
  if (found.empty()) return nullptr;
  return std::make_unique<platform::SnapshotDeviceFind>(std::move(found));
}

void SimulatedStack::DisplayDeviceProperties(platform::WindowHandle parent, const platform::DeviceInfo& device) {
  std::lock_guard lock(m_state->mutex);
  Log(m_state->sheets, PropertySheetCall{parent, device});
}

bool SimulatedStack::SelectDevices(const platform::DeviceSelection& selection,
                                   std::vector<platform::DeviceInfo>& chosen) {
  std::lock_guard lock(m_state->mutex);
  Log(m_state->selections, selection);
  chosen.clear();  // nobody is there to choose
  return false;
}

platform::LookupStatus SimulatedStack::LookUpDevices(std::vector<BluetoothAddress>& inRange,
                                                     std::stop_token cancel) {
  State& s = *m_state;
  std::unique_lock lock(s.mutex);
  if (!s.AnyRadio()) return platform::LookupStatus::Unavailable;
  std::int64_t deadline = s.clock->NowMs() + s.world.lookupMultiplier * kInquiryUnitMs;
  if (!s.WaitUntil(lock, deadline, cancel)) return platform::LookupStatus::NotStarted;
  s.Inquire(kNone);
  for (const auto& d : s.world.devices)
    if (d.inRange && d.discoverable && s.Reports(d, kNone)) inRange.push_back(d.address);
  return platform::LookupStatus::Ok;
}

bool SimulatedStack::LookUpServices(BluetoothAddress device, std::vector<platform::ServiceRecord>& records,
                                    std::stop_token cancel) {
  std::lock_guard lock(m_state->mutex);
  Log(m_state->serviceLookups, device);
  if (cancel.stop_requested()) return false;
  for (const auto& d : m_state->world.devices) {
    if (d.address != device) continue;
    if (!d.inRange || !m_state->Reports(d, kNone)) return false;
    records.insert(records.end(), d.records.begin(), d.records.end());
    return true;
  }
  return false;
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::RegisterRadioEvents(
    const platform::RadioHandle& radio, platform::DeviceChangeSink& sink) {
  auto* handle = dynamic_cast<const SimRadioHandle*>(&radio);
  if (!handle || handle->Owner() != m_state.get()) return nullptr;
  {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->world.radios[handle->Index()].present) return nullptr;
  }
  auto entry = std::make_shared<SinkEntry>();
  entry->sink = &sink;
  entry->radio = handle->Index();
  {
    std::lock_guard registry(m_state->registryMutex);
    m_state->sinks.push_back(entry);
  }
  return std::make_unique<SimRegistration>(m_state, std::move(entry));
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::WatchDeviceTree(platform::DeviceChangeSink& sink) {
  auto entry = std::make_shared<SinkEntry>();
  entry->sink = &sink;
  entry->tree = true;
  {
    std::lock_guard registry(m_state->registryMutex);
    m_state->sinks.push_back(entry);
  }
  return std::make_unique<SimRegistration>(m_state, std::move(entry));
}

void SimulatedStack::AdvanceTime(std::int64_t ms) {
  State& s = *m_state;
  if (!s.stepped || ms < 0) return;
  std::unique_lock lock(s.mutex);
  const std::int64_t target = s.clock->NowMs() + ms;
  for (;;) {
    auto next = s.NextEventTime();
    if (!next || *next > target) break;
    s.stepped->Set(std::max(*next, s.clock->NowMs()));
    std::vector<Delivery> out;
    s.PlayNext(out);
    s.changed.notify_all();
    lock.unlock();
    s.Deliver(out);
    lock.lock();
  }
  s.stepped->Set(target);
  s.changed.notify_all();
}

std::int64_t SimulatedStack::NowMs() const {
  return m_state->clock->NowMs();
}

platform::UtcTime SimulatedStack::UtcNow() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->UtcNow();
}

std::size_t SimulatedStack::InquiriesWaiting() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->waiting;
}

bool SimulatedStack::WaitForInquiries(std::size_t count, std::chrono::milliseconds timeout) const {
  auto until = Steady::now() + timeout;
  while (InquiriesWaiting() < count) {
    if (Steady::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<SimulatedStack::SearchCall> SimulatedStack::Searches() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->searches;
}

std::uint64_t SimulatedStack::SearchCount() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->searchCount;
}

std::vector<SimulatedStack::PropertySheetCall> SimulatedStack::PropertySheets() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->sheets;
}

std::vector<platform::DeviceSelection> SimulatedStack::Selections() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->selections;
}

std::vector<BluetoothAddress> SimulatedStack::ServiceLookups() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->serviceLookups;
}

}  // namespace wren::sim
