#include "adapters/sim/SimScanner.h"

#include <utility>

namespace wren::sim {
namespace {

using platform::DeviceChange;

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

class SimRadioHandle final : public platform::RadioHandle {
public:
  SimRadioHandle(std::shared_ptr<const TimelinePlayer> timeline, std::size_t index)
      : m_timeline(std::move(timeline)), m_index(index) {}
  bool GetInfo(platform::RadioInfo& info) const override {
    std::lock_guard lock(m_timeline->mutex);
    const SimRadio& r = m_timeline->world.radios[m_index];
    if (!r.present || !r.readable) return false;
    info.address = r.address;
    info.name = r.name;
    info.classOfDevice = r.classOfDevice;
    return true;
  }
  const TimelinePlayer* Owner() const { return m_timeline.get(); }
  std::size_t Index() const { return m_index; }

private:
  std::shared_ptr<const TimelinePlayer> m_timeline;  // shares the stack's lifetime
  std::size_t m_index;
};

class SimRadioFind final : public platform::RadioFind {
public:
  SimRadioFind(std::shared_ptr<const TimelinePlayer> timeline, std::vector<std::size_t> radios)
      : m_timeline(std::move(timeline)), m_radios(std::move(radios)) {}
  std::unique_ptr<platform::RadioHandle> Next() override {
    if (m_next >= m_radios.size()) return nullptr;
    return std::make_unique<SimRadioHandle>(m_timeline, m_radios[m_next++]);
  }

private:
  std::shared_ptr<const TimelinePlayer> m_timeline;
  std::vector<std::size_t> m_radios;
  std::size_t m_next = 0;
};

}  // namespace

std::unique_ptr<platform::RadioFind> SimScanner::FindRadios() {
  TimelinePlayer& t = m_timeline;
  std::lock_guard lock(t.mutex);
  std::vector<std::size_t> present;
  for (std::size_t i = 0; i < t.world.radios.size(); ++i)
    if (t.world.radios[i].present) present.push_back(i);
  if (present.empty()) return nullptr;
  // The handles share the owner's lifetime, and point at the timeline.
  return std::make_unique<SimRadioFind>(std::shared_ptr<const TimelinePlayer>(m_owner.lock(), &t),
                                        std::move(present));
}

std::unique_ptr<platform::DeviceFind> SimScanner::FindDevices(const platform::DeviceSearch& search,
                                                              std::stop_token cancel) {
  TimelinePlayer& t = m_timeline;
  std::unique_lock lock(t.mutex);
  std::size_t radio = kNone;
  if (search.radio) {
    auto* handle = dynamic_cast<const SimRadioHandle*>(search.radio);
    if (!handle || handle->Owner() != &t) return nullptr;
    radio = handle->Index();
  }
  SimulatedStack::SearchCall call{search, radio};
  call.search.radio = nullptr;
  Log(m_searches, std::move(call));
  ++m_searchCount;
  if (radio != kNone && !t.world.radios[radio].present) return nullptr;

  if (search.issueInquiry && search.timeoutMultiplier > 0) {
    std::int64_t deadline = t.NowMs() + search.timeoutMultiplier * kInquiryUnitMs;
    if (!t.WaitUntil(lock, deadline, cancel)) return nullptr;
    if (radio != kNone && !t.world.radios[radio].present) return nullptr;
    Inquire(radio);
  }

  std::vector<platform::DeviceInfo> found;
  for (std::size_t i = 0; i < t.world.devices.size(); ++i) {
    const SimDevice& d = t.world.devices[i];
    if (!t.Reports(d, radio)) continue;
    bool unknown = !d.remembered && !d.authenticated;
    bool match = (search.returnAuthenticated && d.authenticated) ||
                 (search.returnRemembered && d.remembered) ||
                 (search.returnConnected && d.connected) ||
                 (search.returnUnknown && unknown && d.inRange && t.discovered[i]);
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

platform::LookupStatus SimScanner::LookUpDevices(std::vector<BluetoothAddress>& inRange,
                                                 std::stop_token cancel) {
  TimelinePlayer& t = m_timeline;
  std::unique_lock lock(t.mutex);
  if (!t.AnyRadio()) return platform::LookupStatus::Unavailable;
  std::int64_t deadline = t.NowMs() + t.world.lookupMultiplier * kInquiryUnitMs;
  if (!t.WaitUntil(lock, deadline, cancel)) return platform::LookupStatus::NotStarted;
  Inquire(kNone);
  for (const auto& d : t.world.devices)
    if (d.inRange && d.discoverable && t.Reports(d, kNone)) inRange.push_back(d.address);
  return platform::LookupStatus::Ok;
}

bool SimScanner::LookUpServices(BluetoothAddress device,
                                std::vector<platform::ServiceRecord>& records,
                                std::stop_token cancel) {
  const TimelinePlayer& t = m_timeline;
  std::lock_guard lock(t.mutex);
  Log(m_serviceLookups, device);
  if (cancel.stop_requested()) return false;
  for (const auto& d : t.world.devices) {
    if (d.address != device) continue;
    if (!d.inRange || !t.Reports(d, kNone)) return false;
    records.insert(records.end(), d.records.begin(), d.records.end());
    return true;
  }
  return false;
}

std::unique_ptr<platform::NotificationHandle> SimScanner::RegisterRadioEvents(
    const platform::RadioHandle& radio, platform::DeviceChangeSink& sink) {
  auto* handle = dynamic_cast<const SimRadioHandle*>(&radio);
  if (!handle || handle->Owner() != &m_timeline) return nullptr;
  {
    std::lock_guard lock(m_timeline.mutex);
    if (!m_timeline.world.radios[handle->Index()].present) return nullptr;
  }
  SinkKey key;
  key.radio = handle->Index();
  return m_sinks.Add(sink, key);
}

std::unique_ptr<platform::NotificationHandle> SimScanner::WatchDeviceTree(
    platform::DeviceChangeSink& sink) {
  SinkKey key;
  key.tree = true;
  return m_sinks.Add(sink, key);
}

std::vector<SimulatedStack::SearchCall> SimScanner::Searches() const {
  std::lock_guard lock(m_timeline.mutex);
  return m_searches;
}

std::uint64_t SimScanner::SearchCount() const {
  std::lock_guard lock(m_timeline.mutex);
  return m_searchCount;
}

std::vector<BluetoothAddress> SimScanner::ServiceLookups() const {
  std::lock_guard lock(m_timeline.mutex);
  return m_serviceLookups;
}

void SimScanner::ForgetRegistrations(std::size_t radio) {
  m_sinks.ChangeKeys([radio](SinkKey& key) {
    if (!key.tree && key.radio == radio) key.radio = kNone;
  });
}

void SimScanner::RadioEvent(std::size_t i, DeviceChange change, Deliveries& out) const {
  const Scenario& w = m_timeline.world;
  const SimDevice& d = w.devices[i];
  std::size_t radio = d.radios.empty() ? 0 : d.radios.front();
  if (radio >= w.radios.size() || !w.radios[radio].present) return;
  change.eventType = platform::kCustomEvent;
  change.hasRecord = true;
  out.push_back(RadioChange{radio, std::move(change)});
}

void SimScanner::InRangeEvent(std::size_t i, std::uint32_t previousFlags, Deliveries& out) const {
  const SimDevice& d = m_timeline.world.devices[i];
  DeviceChange c;
  c.eventGuid = platform::kRadioInRangeGuid;
  c.previousFlags = previousFlags;
  c.flags = FlagsOf(d);
  c.address = d.address;
  c.name = d.name;
  RadioEvent(i, std::move(c), out);
}

void SimScanner::ConnectionEvent(std::size_t i, Deliveries& out) const {
  const SimDevice& d = m_timeline.world.devices[i];
  DeviceChange c;
  c.eventGuid = platform::kHciEventGuid;
  c.bthAddress = d.address;
  c.connected = d.connected;
  RadioEvent(i, std::move(c), out);
}

void SimScanner::Deliver(const RadioChange& delivery) {
  m_sinks.Deliver([&](const SinkKey& key) { return !key.tree && key.radio == delivery.radio; },
                  [&](platform::DeviceChangeSink& sink, const SinkKey&) {
                    sink.OnDeviceChange(delivery.change);
                  });
}

void SimScanner::Deliver(const TreeChange& delivery) {
  m_sinks.Deliver([](const SinkKey& key) { return key.tree; },
                  [&](platform::DeviceChangeSink& sink, const SinkKey&) {
                    sink.OnDeviceChange(delivery.change);
                  });
}

void SimScanner::Inquire(std::size_t radio) {
  TimelinePlayer& t = m_timeline;
  const platform::UtcTime now = t.UtcNow();
  for (std::size_t i = 0; i < t.world.devices.size(); ++i) {
    SimDevice& d = t.world.devices[i];
    if (d.inRange && d.discoverable && t.Reports(d, radio)) {
      t.discovered[i] = true;
      d.lastSeen = now;
    }
  }
}

}  // namespace wren::sim
