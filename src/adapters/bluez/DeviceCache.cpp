#include "adapters/bluez/DeviceCache.h"

#include <algorithm>
#include <ctime>

#include "base/System.h"

namespace wren::bluez {

using platform::BluetoothAddress;

void DeviceCache::LoadTimes() {
  std::string error;
  std::lock_guard lock(m_mutex);
  m_timesWritable = m_times.Load(m_timesPath, error);
}

void DeviceCache::SaveTimes() {
  std::string text;
  {
    std::lock_guard lock(m_mutex);
    if (!m_timesWritable || !m_times.Dirty()) return;
    text = m_times.Serialize();
    m_times.MarkSaved();
  }
  std::string error;
  if (!platform::WriteFileAtomically(m_timesPath, text, error)) {
    std::lock_guard lock(m_mutex);
    m_times.MarkDirty();
  }
}

AppliedChange DeviceCache::Apply(const std::function<void(ObjectTree&, TreeChanges&)>& change,
                                 bool describeDevices) {
  AppliedChange out;
  std::lock_guard lock(m_mutex);
  change(m_tree, out.changes);
  const TreeChanges& changes = out.changes;
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  const bool wasDirty = m_times.Dirty();
  for (BluetoothAddress a : changes.seen) m_times.Seen(a, now);
  for (BluetoothAddress a : changes.used) m_times.Used(a, now);
  out.timesChanged = m_times.Dirty() && !wasDirty;
  if (describeDevices) {
    std::vector<BluetoothAddress> addresses = changes.changed;
    addresses.insert(addresses.end(), changes.seen.begin(), changes.seen.end());
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    for (BluetoothAddress a : addresses) {
      auto devices = m_tree.FindDevices(a);
      if (devices.empty()) continue;
      const bool sighted =
          std::find(changes.seen.begin(), changes.seen.end(), a) != changes.seen.end();
      out.updated.emplace_back(PropertiesOf(*devices.front()), sighted);
    }
  }
  return out;
}

void DeviceCache::SetBusState(bool answered, std::string uniqueName) {
  std::lock_guard lock(m_mutex);
  m_answered = answered;
  m_uniqueName = std::move(uniqueName);
}

bool DeviceCache::Answered() const {
  std::lock_guard lock(m_mutex);
  return m_answered;
}

std::string DeviceCache::UniqueName() const {
  std::lock_guard lock(m_mutex);
  return m_uniqueName;
}

std::vector<std::string> DeviceCache::Adapters(bool poweredOnly) const {
  std::vector<std::string> paths;
  std::lock_guard lock(m_mutex);
  for (const Adapter* a : m_tree.Adapters())
    if (!poweredOnly || a->powered) paths.push_back(a->path);
  return paths;
}

std::vector<std::string> DeviceCache::Powered(const std::vector<std::string>& paths) const {
  std::vector<std::string> out;
  std::lock_guard lock(m_mutex);
  for (const auto& p : paths)
    if (const Adapter* a = m_tree.FindAdapter(p); a != nullptr && a->powered) out.push_back(p);
  return out;
}

bool DeviceCache::RadioInfoOf(const std::string& adapterPath, platform::RadioInfo& info) const {
  std::lock_guard lock(m_mutex);
  const Adapter* a = m_tree.FindAdapter(adapterPath);
  if (a == nullptr || !a->hasAddress) return false;
  info.address = a->address;
  info.name = a->name;
  info.classOfDevice = a->classOfDevice;
  return true;
}

std::vector<platform::DeviceInfo> DeviceCache::Matching(
    const std::vector<std::string>& adapters, const platform::DeviceSearch& search) const {
  std::vector<platform::DeviceInfo> found;
  std::lock_guard lock(m_mutex);
  for (const std::string& path : adapters) {
    const Adapter* a = m_tree.FindAdapter(path);
    if (a == nullptr || !a->powered) continue;
    for (const Device* d : m_tree.DevicesOf(path))
      if (MatchesSearch(*d, search)) found.push_back(InfoOf(*d));
  }
  return found;
}

void DeviceCache::Reachable(const std::vector<std::string>& adapters,
                            std::vector<BluetoothAddress>& out) const {
  std::lock_guard lock(m_mutex);
  for (const std::string& path : adapters) {
    for (const Device* d : m_tree.DevicesOf(path)) {
      // In range, or one the radio can page because it knows it.
      if (!(d->hasRssi || d->connected || d->Remembered())) continue;
      if (std::find(out.begin(), out.end(), d->address) == out.end()) out.push_back(d->address);
    }
  }
}

std::vector<BluetoothAddress> DeviceCache::RadiosFor(BluetoothAddress device) const {
  std::vector<BluetoothAddress> radios;
  std::lock_guard lock(m_mutex);
  for (const Device* d : m_tree.FindDevices(device)) {
    const Adapter* a = m_tree.FindAdapter(d->adapterPath);
    if (a != nullptr && a->hasAddress) radios.push_back(a->address);
  }
  for (const Adapter* a : m_tree.Adapters())
    if (a->hasAddress && std::find(radios.begin(), radios.end(), a->address) == radios.end())
      radios.push_back(a->address);
  return radios;
}

std::string DeviceCache::AdapterForRequest(const std::string& devicePath) const {
  std::lock_guard lock(m_mutex);
  if (const Device* d = m_tree.FindDevice(devicePath)) return d->adapterPath;
  const auto slash = devicePath.rfind('/');
  if (slash == std::string::npos) return {};
  std::string adapterPath = devicePath.substr(0, slash);
  // A device BlueZ has not announced yet: every radio hears it.
  if (m_tree.FindAdapter(adapterPath) == nullptr) adapterPath.clear();
  return adapterPath;
}

std::string DeviceCache::DevicePath(BluetoothAddress device, std::string* adapterPath) const {
  std::string path, adapter;
  std::lock_guard lock(m_mutex);
  for (const Device* d : m_tree.FindDevices(device)) {
    const Adapter* a = m_tree.FindAdapter(d->adapterPath);
    if (path.empty() || (a != nullptr && a->powered)) {
      path = d->path;
      adapter = d->adapterPath;
    }
  }
  if (adapterPath) *adapterPath = adapter;
  return path;
}

std::vector<PropertyText> DeviceCache::RawProperties(BluetoothAddress device) const {
  std::vector<PropertyText> out;
  std::lock_guard lock(m_mutex);
  auto devices = m_tree.FindDevices(device);
  if (devices.empty()) return out;
  for (const auto& [name, value] : devices.front()->properties)
    out.push_back({name, ValueText(value)});
  return out;
}

std::vector<platform::DeviceProperties> DeviceCache::Devices() const {
  std::vector<platform::DeviceProperties> out;
  std::vector<BluetoothAddress> listed;
  std::lock_guard lock(m_mutex);
  for (const Adapter* a : m_tree.Adapters()) {
    for (const Device* d : m_tree.DevicesOf(a->path)) {
      // A device two radios know is listed once.
      if (std::find(listed.begin(), listed.end(), d->address) != listed.end()) continue;
      listed.push_back(d->address);
      out.push_back(PropertiesOf(*d));
    }
  }
  return out;
}

bool DeviceCache::Properties(BluetoothAddress device, platform::DeviceProperties& out) const {
  std::lock_guard lock(m_mutex);
  auto devices = m_tree.FindDevices(device);
  if (devices.empty()) return false;
  out = PropertiesOf(*devices.front());
  return true;
}

platform::DeviceInfo DeviceCache::InfoOf(const Device& d) const {
  platform::DeviceInfo info;
  info.address = d.address;
  info.classOfDevice = d.classOfDevice;
  info.connected = d.connected;
  info.remembered = d.Remembered();
  info.authenticated = d.Authenticated();
  info.name = d.name;
  info.lastSeen = ToUtcTime(m_times.LastSeen(d.address));
  info.lastUsed = ToUtcTime(m_times.LastUsed(d.address));
  info.le = d.le;
  info.uuids = d.uuids;
  return info;
}

platform::DeviceProperties DeviceCache::PropertiesOf(const Device& d) const {
  platform::DeviceProperties p;
  p.address = d.address;
  p.name = d.ownName;
  p.alias = d.alias.empty() ? d.name : d.alias;
  p.classOfDevice = d.classOfDevice;
  p.paired = d.paired;
  p.trusted = d.trusted;
  p.blocked = d.blocked;
  p.connected = d.connected;
  if (d.hasRssi) p.rssi = static_cast<std::int16_t>(d.rssi);
  if (d.hasTxPower) p.txPower = d.txPower;
  p.lastSeen = ToUtcTime(m_times.LastSeen(d.address));
  p.lastUsed = ToUtcTime(m_times.LastUsed(d.address));
  p.uuids = d.uuids;
  p.le = d.le;
  return p;
}

}  // namespace wren::bluez
