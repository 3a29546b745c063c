#include "adapters/sim/SimulatedStack.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

#include "ports/SinkRegistry.h"

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
  if (log.size() >= kLogLimit)
    log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(kLogLimit / 2));
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
  std::optional<Steady::time_point> WallInstant(std::int64_t) const override {
    return std::nullopt;
  }
  void Set(std::int64_t ms) { m_now.store(ms); }

private:
  std::atomic<std::int64_t> m_now{0};
};

// What a sink hears: the device tree, or the events of one radio.
struct SinkKey {
  bool tree = false;
  std::size_t radio = kNone;
};
struct NoKey {};

struct Delivery {
  bool tree = false;
  std::size_t radio = kNone;
  DeviceChange change;
  // For the device listeners instead of the sinks: a device changed, or
  // it is gone.
  bool listeners = false;
  bool removed = false;
  bool sighted = false;
  platform::DeviceProperties device;
};

// One pairing in flight.
struct PendingPair {
  std::uint64_t id = 0;
  BluetoothAddress address = 0;
  platform::DeviceDone done;
};

using platform::DeviceError;

platform::DeviceResult ResultOf(DeviceError error) { return platform::DeviceFailure(error); }

constexpr DeviceError kDoesNotExist = DeviceError::DoesNotExist;
constexpr DeviceError kNotReady = DeviceError::NotReady;
constexpr DeviceError kFailed = DeviceError::Failed;
constexpr DeviceError kInProgress = DeviceError::InProgress;
constexpr DeviceError kAlreadyExists = DeviceError::AlreadyExists;
constexpr DeviceError kAlreadyConnected = DeviceError::AlreadyConnected;
constexpr DeviceError kNotConnected = DeviceError::NotConnected;
constexpr DeviceError kUnreachable = DeviceError::ConnectionAttemptFailed;
constexpr DeviceError kAuthFailed = DeviceError::AuthenticationFailed;
constexpr DeviceError kAuthCanceled = DeviceError::AuthenticationCanceled;
constexpr DeviceError kAuthRejected = DeviceError::AuthenticationRejected;
constexpr DeviceError kNoError = DeviceError::None;

std::uint32_t FlagsOf(const SimDevice& d) {
  std::uint32_t f = platform::kFlagAddress | platform::kFlagClass;
  if (!d.name.empty()) f |= platform::kFlagName;
  if (d.authenticated) f |= platform::kFlagPaired;
  if (d.remembered) f |= platform::kFlagPersonal;
  if (d.connected) f |= platform::kFlagConnected;
  return f;
}

}  // namespace

struct SimulatedStack::State : std::enable_shared_from_this<SimulatedStack::State> {
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
  std::vector<BluetoothAddress> serviceLookups;

  std::size_t discovering = 0;  // discovery sessions open
  std::vector<std::shared_ptr<PendingPair>> pairings;
  std::uint64_t nextPairing = 0;

  platform::SinkRegistry<platform::DeviceChangeSink, SinkKey> sinks;
  platform::SinkRegistry<platform::DeviceListener, NoKey> listeners;
  platform::SinkRegistry<platform::PairingAgent, NoKey> agents;

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
             (d.radios.empty() ||
              std::find(d.radios.begin(), d.radios.end(), radio) != d.radios.end());
    if (d.radios.empty())
      return std::any_of(world.radios.begin(), world.radios.end(),
                         [](const SimRadio& r) { return r.present; });
    return std::any_of(d.radios.begin(), d.radios.end(),
                       [&](std::size_t r) { return world.radios[r].present; });
  }

  bool AnyRadio() const {
    return std::any_of(world.radios.begin(), world.radios.end(),
                       [](const SimRadio& r) { return r.present; });
  }

  // Blocks until simulated time reaches `deadline`; false when cancelled.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::int64_t deadline,
                 std::stop_token& cancel) {
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
    if (e.device != kNone && !world.devices[e.device].radios.empty())
      return world.devices[e.device].radios.front();
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
    const bool knownBefore = d != nullptr && Known(e.device);

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
    if (delivery.radio != kNone && world.radios[delivery.radio].present)
      out.push_back(std::move(delivery));
    if (d != nullptr && Known(e.device)) {
      const bool sighted = e.kind == EventKind::InRange || e.kind == EventKind::HciConnect ||
                           e.kind == EventKind::L2capConnect;
      out.push_back(Changed(e.device, sighted));
    } else if (knownBefore) {
      // A device found but never remembered is forgotten once out of range.
      Delivery gone;
      gone.listeners = true;
      gone.removed = true;
      gone.device.address = d->address;
      out.push_back(std::move(gone));
    }
  }

  // A removed adapter's registrations end with it.
  void ForgetRegistrations(std::size_t radio) {
    sinks.ChangeKeys([radio](SinkKey& key) {
      if (!key.tree && key.radio == radio) key.radio = kNone;
    });
  }

  // --- the device manager's view, with `mutex` held ---

  // A device the stack knows: remembered, paired, trusted or found.
  bool Known(std::size_t i) const {
    const SimDevice& d = world.devices[i];
    return Reports(d, kNone) && (d.remembered || d.authenticated || d.trusted || discovered[i]);
  }

  std::optional<std::size_t> IndexOf(BluetoothAddress address) const {
    for (std::size_t i = 0; i < world.devices.size(); ++i)
      if (world.devices[i].address == address) return i;
    return std::nullopt;
  }

  std::optional<std::size_t> KnownIndex(BluetoothAddress address) const {
    auto i = IndexOf(address);
    if (i && Known(*i)) return i;
    return std::nullopt;
  }

  platform::DeviceProperties PropertiesOf(std::size_t i) const {
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

  Delivery Changed(std::size_t i, bool sighted) const {
    Delivery d;
    d.listeners = true;
    d.sighted = sighted;
    d.device = PropertiesOf(i);
    return d;
  }

  // A radio event about device `i`, on the radio that reports it.
  void RadioEvent(std::size_t i, DeviceChange change, std::vector<Delivery>& out) const {
    const SimDevice& d = world.devices[i];
    std::size_t radio = d.radios.empty() ? 0 : d.radios.front();
    if (radio >= world.radios.size() || !world.radios[radio].present) return;
    change.eventType = platform::kCustomEvent;
    change.hasRecord = true;
    Delivery delivery;
    delivery.radio = radio;
    delivery.change = std::move(change);
    out.push_back(std::move(delivery));
  }

  // What a change of the device's description tells the radio's sinks.
  void InRangeEvent(std::size_t i, std::uint32_t previousFlags, std::vector<Delivery>& out) const {
    const SimDevice& d = world.devices[i];
    DeviceChange c;
    c.eventGuid = platform::kRadioInRangeGuid;
    c.previousFlags = previousFlags;
    c.flags = FlagsOf(d);
    c.address = d.address;
    c.name = d.name;
    RadioEvent(i, std::move(c), out);
  }

  void ConnectionEvent(std::size_t i, std::vector<Delivery>& out) const {
    DeviceChange c;
    c.eventGuid = platform::kHciEventGuid;
    c.bthAddress = world.devices[i].address;
    c.connected = world.devices[i].connected;
    RadioEvent(i, std::move(c), out);
  }

  // The devices in range that a discovery reaches are found (again).
  void Discover(std::vector<Delivery>& out) {
    const platform::UtcTime now = UtcNow();
    for (std::size_t i = 0; i < world.devices.size(); ++i) {
      SimDevice& d = world.devices[i];
      if (!d.inRange || !d.discoverable || !Reports(d, kNone)) continue;
      const bool known = Known(i);
      const bool wasFound = discovered[i];
      discovered[i] = true;
      d.lastSeen = now;
      if (!wasFound && !known) InRangeEvent(i, 0, out);
      out.push_back(Changed(i, true));
    }
  }

  // --- without `mutex` ---

  void Deliver(const std::vector<Delivery>& deliveries) {
    for (const auto& d : deliveries) {
      if (d.listeners) {
        listeners.Deliver([](const NoKey&) { return true; },
                          [&](platform::DeviceListener& l, const NoKey&) {
                            if (d.removed)
                              l.OnDeviceRemoved(d.device.address);
                            else
                              l.OnDeviceChanged(d.device, d.sighted);
                          });
        continue;
      }
      sinks.Deliver(
          [&](const SinkKey& key) {
            return d.tree ? key.tree : (!key.tree && key.radio == d.radio);
          },
          [&](platform::DeviceChangeSink& sink, const SinkKey&) { sink.OnDeviceChange(d.change); });
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

std::unique_ptr<platform::DeviceFind> SimulatedStack::FindDevices(
    const platform::DeviceSearch& search, std::stop_token cancel) {
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
    bool match = (search.returnAuthenticated && d.authenticated) ||
                 (search.returnRemembered && d.remembered) ||
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
    info.le = d.le;
    info.uuids = d.uuids;
    found.push_back(std::move(info));
  }
  if (found.empty()) return nullptr;
  return std::make_unique<platform::SnapshotDeviceFind>(std::move(found));
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

bool SimulatedStack::LookUpServices(BluetoothAddress device,
                                    std::vector<platform::ServiceRecord>& records,
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
  SinkKey key;
  key.radio = handle->Index();
  return m_state->sinks.Add(sink, key);
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::WatchDeviceTree(
    platform::DeviceChangeSink& sink) {
  SinkKey key;
  key.tree = true;
  return m_state->sinks.Add(sink, key);
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

std::int64_t SimulatedStack::NowMs() const { return m_state->clock->NowMs(); }

platform::UtcTime SimulatedStack::UtcNow() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->UtcNow();
}

std::time_t SimulatedStack::EpochSecondsNow() const {
  return static_cast<std::time_t>(ToEpochSeconds(UtcNow()));
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

std::vector<BluetoothAddress> SimulatedStack::ServiceLookups() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->serviceLookups;
}

// --- the device manager ---

namespace {

class SimDiscovery final : public platform::DiscoverySession {
public:
  explicit SimDiscovery(std::shared_ptr<SimulatedStack::State> state) : m_state(std::move(state)) {}
  ~SimDiscovery() override {
    std::lock_guard lock(m_state->mutex);
    --m_state->discovering;
  }

private:
  std::shared_ptr<SimulatedStack::State> m_state;
};

// Ends pairing `id` with `error` (None: paired), once; an answer that
// comes after the pairing ended is ignored.
void FinishPairing(const std::shared_ptr<SimulatedStack::State>& state, std::uint64_t id,
                   DeviceError error) {
  std::vector<Delivery> out;
  platform::DeviceDone done;
  {
    std::lock_guard lock(state->mutex);
    auto& pairings = state->pairings;
    auto it =
        std::find_if(pairings.begin(), pairings.end(), [id](const auto& p) { return p->id == id; });
    if (it == pairings.end()) return;
    done = std::move((*it)->done);
    const BluetoothAddress address = (*it)->address;
    pairings.erase(it);
    auto i = state->IndexOf(address);
    if (error == kNoError && i) {
      SimDevice& d = state->world.devices[*i];
      const std::uint32_t before = FlagsOf(d);
      d.authenticated = true;
      d.remembered = true;
      d.lastUsed = state->UtcNow();
      state->InRangeEvent(*i, before, out);
      out.push_back(state->Changed(*i, false));
    }
  }
  state->Deliver(out);
  if (done) done(ResultOf(error));
}

// What the agent answers for a scripted pairing.
std::function<void(bool)> Answer(const std::shared_ptr<SimulatedStack::State>& state,
                                 std::uint64_t id, DeviceError failure) {
  std::weak_ptr<SimulatedStack::State> weak = state;
  return [weak, id, failure](bool accepted) {
    if (auto s = weak.lock()) FinishPairing(s, id, accepted ? failure : kAuthRejected);
  };
}

}  // namespace

std::vector<platform::DeviceProperties> SimulatedStack::Devices() const {
  std::lock_guard lock(m_state->mutex);
  std::vector<platform::DeviceProperties> out;
  for (std::size_t i = 0; i < m_state->world.devices.size(); ++i)
    if (m_state->Known(i)) out.push_back(m_state->PropertiesOf(i));
  return out;
}

bool SimulatedStack::Properties(BluetoothAddress device, platform::DeviceProperties& out) const {
  std::lock_guard lock(m_state->mutex);
  auto i = m_state->KnownIndex(device);
  if (!i) return false;
  out = m_state->PropertiesOf(*i);
  return true;
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::WatchDevices(
    platform::DeviceListener& listener) {
  return m_state->listeners.Add(listener, NoKey{});
}

std::unique_ptr<platform::DiscoverySession> SimulatedStack::StartDiscovery() {
  std::vector<Delivery> out;
  {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->AnyRadio()) return nullptr;
    ++m_state->discovering;
    m_state->Discover(out);
  }
  auto session = std::make_unique<SimDiscovery>(m_state);
  m_state->Deliver(out);
  return session;
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::RegisterPairingAgent(
    platform::PairingAgent& agent) {
  return m_state->agents.Add(agent, NoKey{});
}

void SimulatedStack::Pair(BluetoothAddress device, platform::DeviceDone done) {
  State& s = *m_state;
  SimPairing script;
  std::uint64_t id = 0;
  {
    std::lock_guard lock(s.mutex);
    auto i = s.KnownIndex(device);
    DeviceError refusal = kNoError;
    if (!s.AnyRadio())
      refusal = kNotReady;
    else if (!i)
      refusal = kDoesNotExist;
    else if (std::any_of(s.pairings.begin(), s.pairings.end(),
                         [&](const auto& p) { return p->address == device; }))
      refusal = kInProgress;
    else if (s.world.devices[*i].authenticated)
      refusal = kAlreadyExists;
    else if (s.world.devices[*i].blocked)
      refusal = kFailed;
    else if (!s.world.devices[*i].inRange)
      refusal = kUnreachable;
    if (refusal != kNoError) {
      if (done) done(ResultOf(refusal));
      return;
    }
    script = s.world.devices[*i].pairing;
    auto pending = std::make_shared<PendingPair>();
    pending->id = id = ++s.nextPairing;
    pending->address = device;
    pending->done = std::move(done);
    s.pairings.push_back(std::move(pending));
  }

  const std::shared_ptr<State>& state = m_state;
  if (script.method == PairingMethod::JustWorks) {
    FinishPairing(state, id, script.failure);
    return;
  }
  std::weak_ptr<State> weak = state;
  const DeviceError failure = script.failure;
  const bool asked = s.agents.DeliverToLatest([&](platform::PairingAgent& agent, const NoKey&) {
    switch (script.method) {
      case PairingMethod::JustWorks:
        break;
      case PairingMethod::ConfirmPasskey:
        agent.ConfirmPasskey(device, script.passkey, Answer(state, id, failure));
        break;
      case PairingMethod::DisplayPasskey:
        agent.DisplayPasskey(device, script.passkey, 0);
        break;
      case PairingMethod::DisplayPinCode:
        agent.DisplayPinCode(device, script.pin);
        break;
      case PairingMethod::RequestPinCode:
        agent.RequestPinCode(
            device, [weak, id, failure, pin = script.pin](std::optional<std::string> typed) {
              auto st = weak.lock();
              if (!st) return;
              if (!typed) return FinishPairing(st, id, kAuthCanceled);
              FinishPairing(st, id, *typed == pin ? failure : kAuthFailed);
            });
        break;
      case PairingMethod::RequestPasskey:
        agent.RequestPasskey(
            device, [weak, id, failure, key = script.passkey](std::optional<std::uint32_t> typed) {
              auto st = weak.lock();
              if (!st) return;
              if (!typed) return FinishPairing(st, id, kAuthCanceled);
              FinishPairing(st, id, *typed == key ? failure : kAuthFailed);
            });
        break;
    }
  });
  // Nobody to ask: the stack gives up as BlueZ does without an agent.
  if (!asked) return FinishPairing(state, id, kAuthCanceled);
  // What is shown is typed on the device, which then answers.
  if (script.method == PairingMethod::DisplayPasskey ||
      script.method == PairingMethod::DisplayPinCode)
    FinishPairing(state, id, failure);
}

void SimulatedStack::CancelPairing(BluetoothAddress device, platform::DeviceDone done) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(m_state->mutex);
    for (const auto& p : m_state->pairings)
      if (p->address == device) id = p->id;
  }
  if (id == 0) {
    if (done) done(ResultOf(kDoesNotExist));
    return;
  }
  m_state->agents.DeliverToLatest(
      [](platform::PairingAgent& agent, const NoKey&) { agent.Cancel(); });
  FinishPairing(m_state, id, kAuthCanceled);
  if (done) done(ResultOf(kNoError));
}

namespace {

// Runs `change` on a known device with the state locked, then delivers
// what it produced and answers. `change` returns an error, or None.
template <typename Change>
void ChangeDevice(SimulatedStack::State& s, BluetoothAddress device,
                  const platform::DeviceDone& done, Change change) {
  std::vector<Delivery> out;
  DeviceError error = kNoError;
  {
    std::lock_guard lock(s.mutex);
    auto i = s.KnownIndex(device);
    if (!i) {
      error = kDoesNotExist;
    } else {
      error = change(*i, out);
    }
  }
  s.Deliver(out);
  if (done) done(ResultOf(error));
}

}  // namespace

void SimulatedStack::SetTrusted(BluetoothAddress device, bool trusted, platform::DeviceDone done) {
  State& s = *m_state;
  ChangeDevice(s, device, done, [&](std::size_t i, std::vector<Delivery>& out) {
    SimDevice& d = s.world.devices[i];
    if (d.trusted == trusted) return kNoError;
    const std::uint32_t before = FlagsOf(d);
    const bool wasRemembered = d.remembered;
    d.trusted = trusted;
    d.remembered = trusted || d.authenticated;
    if (d.remembered != wasRemembered) s.InRangeEvent(i, before, out);
    out.push_back(s.Changed(i, false));
    return kNoError;
  });
}

void SimulatedStack::SetBlocked(BluetoothAddress device, bool blocked, platform::DeviceDone done) {
  State& s = *m_state;
  ChangeDevice(s, device, done, [&](std::size_t i, std::vector<Delivery>& out) {
    SimDevice& d = s.world.devices[i];
    if (d.blocked == blocked) return kNoError;
    d.blocked = blocked;
    // A blocked device is cut off at once.
    if (blocked && d.connected) {
      d.connected = false;
      d.lastUsed = s.UtcNow();
      s.ConnectionEvent(i, out);
    }
    out.push_back(s.Changed(i, false));
    return kNoError;
  });
}

void SimulatedStack::Connect(BluetoothAddress device, platform::DeviceDone done) {
  State& s = *m_state;
  ChangeDevice(s, device, done, [&](std::size_t i, std::vector<Delivery>& out) {
    SimDevice& d = s.world.devices[i];
    if (d.connected) return kAlreadyConnected;
    if (d.blocked) return kFailed;
    if (!d.inRange) return kUnreachable;
    d.connected = true;
    d.lastSeen = d.lastUsed = s.UtcNow();
    s.discovered[i] = true;
    s.ConnectionEvent(i, out);
    out.push_back(s.Changed(i, true));
    return kNoError;
  });
}

void SimulatedStack::Disconnect(BluetoothAddress device, platform::DeviceDone done) {
  State& s = *m_state;
  ChangeDevice(s, device, done, [&](std::size_t i, std::vector<Delivery>& out) {
    SimDevice& d = s.world.devices[i];
    if (!d.connected) return kNotConnected;
    d.connected = false;
    d.lastUsed = s.UtcNow();
    s.ConnectionEvent(i, out);
    out.push_back(s.Changed(i, false));
    return kNoError;
  });
}

void SimulatedStack::SetAlias(BluetoothAddress device, const std::string& alias,
                              platform::DeviceDone done) {
  State& s = *m_state;
  ChangeDevice(s, device, done, [&](std::size_t i, std::vector<Delivery>& out) {
    s.world.devices[i].alias = alias;
    out.push_back(s.Changed(i, false));
    return kNoError;
  });
}

void SimulatedStack::Remove(BluetoothAddress device, platform::DeviceDone done) {
  State& s = *m_state;
  ChangeDevice(s, device, done, [&](std::size_t i, std::vector<Delivery>& out) {
    SimDevice& d = s.world.devices[i];
    // Forgotten: the pairing, trust and alias go; it is found again by
    // the next inquiry while in range.
    d.authenticated = d.remembered = d.trusted = d.blocked = false;
    d.alias.clear();
    if (d.connected) {
      d.connected = false;
      d.lastUsed = s.UtcNow();
      s.ConnectionEvent(i, out);
    }
    s.discovered[i] = false;
    DeviceChange c;
    c.eventGuid = platform::kRadioOutOfRangeGuid;
    c.deviceAddress = d.address;
    s.RadioEvent(i, std::move(c), out);
    Delivery gone;
    gone.listeners = true;
    gone.removed = true;
    gone.device.address = d.address;
    out.push_back(std::move(gone));
    return kNoError;
  });
}

}  // namespace wren::sim
