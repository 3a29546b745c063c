#include "adapters/sim/SimDeviceManager.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace wren::sim {
namespace {

using platform::DeviceChange;
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

}  // namespace

// Counts itself among the open sessions while it lives.
class SimDeviceManager::Discovery final : public platform::DiscoverySession {
public:
  explicit Discovery(std::shared_ptr<SimDeviceManager> devices) : m_devices(std::move(devices)) {}
  ~Discovery() override {
    std::lock_guard lock(m_devices->m_timeline.mutex);
    --m_devices->m_discovering;
  }

private:
  std::shared_ptr<SimDeviceManager> m_devices;  // shares the stack's lifetime
};

template <typename Change>
void SimDeviceManager::ChangeDevice(BluetoothAddress device, const platform::DeviceDone& done,
                                    Change change) {
  Deliveries out;
  DeviceError error = kNoError;
  {
    std::lock_guard lock(m_timeline.mutex);
    auto i = m_timeline.KnownIndex(device);
    if (!i) {
      error = kDoesNotExist;
    } else {
      error = change(*i, out);
    }
  }
  m_outlet.Deliver(out);
  if (done) done(ResultOf(error));
}

std::vector<platform::DeviceProperties> SimDeviceManager::Devices() const {
  const TimelinePlayer& t = m_timeline;
  std::lock_guard lock(t.mutex);
  std::vector<platform::DeviceProperties> out;
  for (std::size_t i = 0; i < t.world.devices.size(); ++i)
    if (t.Known(i)) out.push_back(t.PropertiesOf(i));
  return out;
}

bool SimDeviceManager::Properties(BluetoothAddress device, platform::DeviceProperties& out) const {
  const TimelinePlayer& t = m_timeline;
  std::lock_guard lock(t.mutex);
  auto i = t.KnownIndex(device);
  if (!i) return false;
  out = t.PropertiesOf(*i);
  return true;
}

std::unique_ptr<platform::NotificationHandle> SimDeviceManager::WatchDevices(
    platform::DeviceListener& listener) {
  return m_listeners.Add(listener, NoKey{});
}

std::unique_ptr<platform::DiscoverySession> SimDeviceManager::StartDiscovery() {
  Deliveries out;
  {
    std::lock_guard lock(m_timeline.mutex);
    if (!m_timeline.AnyRadio()) return nullptr;
    ++m_discovering;
    Discover(out);
  }
  auto session =
      std::make_unique<Discovery>(std::shared_ptr<SimDeviceManager>(m_owner.lock(), this));
  m_outlet.Deliver(out);
  return session;
}

std::unique_ptr<platform::NotificationHandle> SimDeviceManager::RegisterPairingAgent(
    platform::PairingAgent& agent) {
  return m_agents.Add(agent, NoKey{});
}

void SimDeviceManager::Pair(BluetoothAddress device, platform::DeviceDone done) {
  TimelinePlayer& t = m_timeline;
  SimPairing script;
  std::uint64_t id = 0;
  {
    std::lock_guard lock(t.mutex);
    auto i = t.KnownIndex(device);
    DeviceError refusal = kNoError;
    if (!t.AnyRadio())
      refusal = kNotReady;
    else if (!i)
      refusal = kDoesNotExist;
    else if (std::any_of(m_pairings.begin(), m_pairings.end(),
                         [&](const auto& p) { return p->address == device; }))
      refusal = kInProgress;
    else if (t.world.devices[*i].authenticated)
      refusal = kAlreadyExists;
    else if (t.world.devices[*i].blocked)
      refusal = kFailed;
    else if (!t.world.devices[*i].inRange)
      refusal = kUnreachable;
    if (refusal != kNoError) {
      if (done) done(ResultOf(refusal));
      return;
    }
    script = t.world.devices[*i].pairing;
    auto pending = std::make_shared<PendingPair>();
    pending->id = id = ++m_nextPairing;
    pending->address = device;
    pending->done = std::move(done);
    m_pairings.push_back(std::move(pending));
  }

  if (script.method == PairingMethod::JustWorks) {
    FinishPairing(id, script.failure);
    return;
  }
  std::weak_ptr<void> owner = m_owner;
  const DeviceError failure = script.failure;
  const bool asked = m_agents.DeliverToLatest([&](platform::PairingAgent& agent, const NoKey&) {
    switch (script.method) {
      case PairingMethod::JustWorks:
        break;
      case PairingMethod::ConfirmPasskey:
        agent.ConfirmPasskey(device, script.passkey, Answer(id, failure));
        break;
      case PairingMethod::DisplayPasskey:
        agent.DisplayPasskey(device, script.passkey, 0);
        break;
      case PairingMethod::DisplayPinCode:
        agent.DisplayPinCode(device, script.pin);
        break;
      case PairingMethod::RequestPinCode:
        agent.RequestPinCode(
            device, [owner, this, id, failure, pin = script.pin](std::optional<std::string> typed) {
              auto alive = owner.lock();
              if (!alive) return;
              if (!typed) return FinishPairing(id, kAuthCanceled);
              FinishPairing(id, *typed == pin ? failure : kAuthFailed);
            });
        break;
      case PairingMethod::RequestPasskey:
        agent.RequestPasskey(device, [owner, this, id, failure,
                                      key = script.passkey](std::optional<std::uint32_t> typed) {
          auto alive = owner.lock();
          if (!alive) return;
          if (!typed) return FinishPairing(id, kAuthCanceled);
          FinishPairing(id, *typed == key ? failure : kAuthFailed);
        });
        break;
    }
  });
  // Nobody to ask: the stack gives up as BlueZ does without an agent.
  if (!asked) return FinishPairing(id, kAuthCanceled);
  // What is shown is typed on the device, which then answers.
  if (script.method == PairingMethod::DisplayPasskey ||
      script.method == PairingMethod::DisplayPinCode)
    FinishPairing(id, failure);
}

void SimDeviceManager::CancelPairing(BluetoothAddress device, platform::DeviceDone done) {
  std::uint64_t id = 0;
  {
    std::lock_guard lock(m_timeline.mutex);
    for (const auto& p : m_pairings)
      if (p->address == device) id = p->id;
  }
  if (id == 0) {
    if (done) done(ResultOf(kDoesNotExist));
    return;
  }
  m_agents.DeliverToLatest([](platform::PairingAgent& agent, const NoKey&) { agent.Cancel(); });
  FinishPairing(id, kAuthCanceled);
  if (done) done(ResultOf(kNoError));
}

void SimDeviceManager::SetTrusted(BluetoothAddress device, bool trusted,
                                  platform::DeviceDone done) {
  ChangeDevice(device, done, [&](std::size_t i, Deliveries& out) {
    SimDevice& d = m_timeline.world.devices[i];
    if (d.trusted == trusted) return kNoError;
    const std::uint32_t before = FlagsOf(d);
    const bool wasRemembered = d.remembered;
    d.trusted = trusted;
    d.remembered = trusted || d.authenticated;
    if (d.remembered != wasRemembered) m_scanner.InRangeEvent(i, before, out);
    out.push_back(DeviceChanged{m_timeline.PropertiesOf(i), false});
    return kNoError;
  });
}

void SimDeviceManager::SetBlocked(BluetoothAddress device, bool blocked,
                                  platform::DeviceDone done) {
  ChangeDevice(device, done, [&](std::size_t i, Deliveries& out) {
    SimDevice& d = m_timeline.world.devices[i];
    if (d.blocked == blocked) return kNoError;
    d.blocked = blocked;
    // A blocked device is cut off at once.
    if (blocked && d.connected) {
      d.connected = false;
      d.lastUsed = m_timeline.UtcNow();
      m_scanner.ConnectionEvent(i, out);
    }
    out.push_back(DeviceChanged{m_timeline.PropertiesOf(i), false});
    return kNoError;
  });
}

void SimDeviceManager::Connect(BluetoothAddress device, platform::DeviceDone done) {
  ChangeDevice(device, done, [&](std::size_t i, Deliveries& out) {
    SimDevice& d = m_timeline.world.devices[i];
    if (d.connected) return kAlreadyConnected;
    if (d.blocked) return kFailed;
    if (!d.inRange) return kUnreachable;
    d.connected = true;
    d.lastSeen = d.lastUsed = m_timeline.UtcNow();
    m_timeline.discovered[i] = true;
    m_scanner.ConnectionEvent(i, out);
    out.push_back(DeviceChanged{m_timeline.PropertiesOf(i), true});
    return kNoError;
  });
}

void SimDeviceManager::Disconnect(BluetoothAddress device, platform::DeviceDone done) {
  ChangeDevice(device, done, [&](std::size_t i, Deliveries& out) {
    SimDevice& d = m_timeline.world.devices[i];
    if (!d.connected) return kNotConnected;
    d.connected = false;
    d.lastUsed = m_timeline.UtcNow();
    m_scanner.ConnectionEvent(i, out);
    out.push_back(DeviceChanged{m_timeline.PropertiesOf(i), false});
    return kNoError;
  });
}

void SimDeviceManager::SetAlias(BluetoothAddress device, const std::string& alias,
                                platform::DeviceDone done) {
  ChangeDevice(device, done, [&](std::size_t i, Deliveries& out) {
    m_timeline.world.devices[i].alias = alias;
    out.push_back(DeviceChanged{m_timeline.PropertiesOf(i), false});
    return kNoError;
  });
}

void SimDeviceManager::Remove(BluetoothAddress device, platform::DeviceDone done) {
  ChangeDevice(device, done, [&](std::size_t i, Deliveries& out) {
    SimDevice& d = m_timeline.world.devices[i];
    // Forgotten: the pairing, trust and alias go; it is found again by
    // the next inquiry while in range.
    d.authenticated = d.remembered = d.trusted = d.blocked = false;
    d.alias.clear();
    if (d.connected) {
      d.connected = false;
      d.lastUsed = m_timeline.UtcNow();
      m_scanner.ConnectionEvent(i, out);
    }
    m_timeline.discovered[i] = false;
    DeviceChange c;
    c.eventGuid = platform::kRadioOutOfRangeGuid;
    c.deviceAddress = d.address;
    m_scanner.RadioEvent(i, std::move(c), out);
    out.push_back(DeviceRemoved{d.address});
    return kNoError;
  });
}

void SimDeviceManager::Deliver(const DeviceChanged& delivery) {
  m_listeners.Deliver([](const NoKey&) { return true; },
                      [&](platform::DeviceListener& l, const NoKey&) {
                        l.OnDeviceChanged(delivery.device, delivery.sighted);
                      });
}

void SimDeviceManager::Deliver(const DeviceRemoved& delivery) {
  m_listeners.Deliver(
      [](const NoKey&) { return true; },
      [&](platform::DeviceListener& l, const NoKey&) { l.OnDeviceRemoved(delivery.address); });
}

void SimDeviceManager::Discover(Deliveries& out) {
  TimelinePlayer& t = m_timeline;
  const platform::UtcTime now = t.UtcNow();
  for (std::size_t i = 0; i < t.world.devices.size(); ++i) {
    SimDevice& d = t.world.devices[i];
    if (!d.inRange || !d.discoverable || !t.Reports(d, kNone)) continue;
    const bool known = t.Known(i);
    const bool wasFound = t.discovered[i];
    t.discovered[i] = true;
    d.lastSeen = now;
    if (!wasFound && !known) m_scanner.InRangeEvent(i, 0, out);
    out.push_back(DeviceChanged{t.PropertiesOf(i), true});
  }
}

void SimDeviceManager::FinishPairing(std::uint64_t id, DeviceError error) {
  TimelinePlayer& t = m_timeline;
  Deliveries out;
  platform::DeviceDone done;
  {
    std::lock_guard lock(t.mutex);
    auto it = std::find_if(m_pairings.begin(), m_pairings.end(),
                           [id](const auto& p) { return p->id == id; });
    if (it == m_pairings.end()) return;
    done = std::move((*it)->done);
    const BluetoothAddress address = (*it)->address;
    m_pairings.erase(it);
    auto i = t.IndexOf(address);
    if (error == kNoError && i) {
      SimDevice& d = t.world.devices[*i];
      const std::uint32_t before = FlagsOf(d);
      d.authenticated = true;
      d.remembered = true;
      d.lastUsed = t.UtcNow();
      m_scanner.InRangeEvent(*i, before, out);
      out.push_back(DeviceChanged{t.PropertiesOf(*i), false});
    }
  }
  m_outlet.Deliver(out);
  if (done) done(ResultOf(error));
}

std::function<void(bool)> SimDeviceManager::Answer(std::uint64_t id, DeviceError failure) {
  return [owner = m_owner, this, id, failure](bool accepted) {
    if (auto alive = owner.lock()) FinishPairing(id, accepted ? failure : kAuthRejected);
  };
}

}  // namespace wren::sim
