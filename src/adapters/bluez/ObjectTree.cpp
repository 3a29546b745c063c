#include "adapters/bluez/ObjectTree.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace wren::bluez {
namespace {

const Value* Find(const Properties& properties, const char* name) {
  auto it = properties.find(name);
  return it == properties.end() ? nullptr : &it->second;
}

// Each reader takes the value only when it has the expected kind; a value
// of another type counts as not reported.
bool ReadBool(const Properties& properties, const char* name) {
  const Value* v = Find(properties, name);
  return v != nullptr && v->kind == Value::Kind::Bool && v->boolean;
}

const std::string* ReadString(const Properties& properties, const char* name) {
  const Value* v = Find(properties, name);
  return v != nullptr && v->kind == Value::Kind::String ? &v->text : nullptr;
}

bool ReadInteger(const Properties& properties, const char* name, std::int64_t min, std::int64_t max,
                 std::int64_t& out) {
  const Value* v = Find(properties, name);
  if (v == nullptr) return false;
  if (v->kind == Value::Kind::Signed) {
    if (v->signedValue < min || v->signedValue > max) return false;
    out = v->signedValue;
    return true;
  }
  if (v->kind == Value::Kind::Unsigned) {
    if (v->unsignedValue > static_cast<std::uint64_t>(max)) return false;
    out = static_cast<std::int64_t>(v->unsignedValue);
    return out >= min;
  }
  return false;
}

std::string ParentPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

// BlueZ gives a device without a name the alias "00-1A-2B-3C-4D-5E"; that
// is no name.
bool IsAddressAlias(std::string_view alias, BluetoothAddress address) {
  BluetoothAddress parsed = 0;
  return BluetoothAddress::Parse(alias, parsed, '-') && parsed == address;
}

std::string NameOf(const Properties& properties, BluetoothAddress address) {
  if (const std::string* name = ReadString(properties, "Name"); name && !name->empty())
    return CutUtf8(*name, kMaxNameBytes);
  if (const std::string* alias = ReadString(properties, "Alias");
      alias && !alias->empty() && !IsAddressAlias(*alias, address))
    return CutUtf8(*alias, kMaxNameBytes);
  return {};
}

// A property of another type than BlueZ documents is left out, as if the
// device had not reported it.
platform::LeFields ReadLeFields(const Properties& properties) {
  platform::LeFields le;
  if (const std::string* type = ReadString(properties, "AddressType")) {
    if (*type == "public") le.addressType = platform::AddressType::Public;
    if (*type == "random") le.addressType = platform::AddressType::Random;
  }
  if (const Value* appearance = Find(properties, "Appearance");
      appearance && appearance->kind == Value::Kind::Unsigned && appearance->signature == "q")
    le.appearance = static_cast<std::uint16_t>(appearance->unsignedValue);
  if (const Value* data = Find(properties, "ManufacturerData"); data && data->signature == "a{qv}")
    for (const Value::ByteEntry& entry : data->byteMap)
      le.manufacturerData.emplace_back(static_cast<std::uint16_t>(entry.number), entry.bytes);
  if (const Value* data = Find(properties, "ServiceData"); data && data->signature == "a{sv}")
    for (const Value::ByteEntry& entry : data->byteMap)
      le.serviceData.emplace_back(entry.key, entry.bytes);
  return le;
}

// Fills the derived fields from `d.properties`; false when the device has
// no usable address (then it is not kept).
bool DeriveDevice(Device& d) {
  BluetoothAddress address = 0;
  const std::string* addressText = ReadString(d.properties, "Address");
  if (!(addressText && BluetoothAddress::Parse(*addressText, address)) &&
      !AddressFromDevicePath(d.path, address))
    return false;
  d.address = address;
  const Value* adapter = Find(d.properties, "Adapter");
  if (adapter && adapter->kind == Value::Kind::ObjectPath && !adapter->text.empty())
    d.adapterPath = adapter->text;
  else
    d.adapterPath = ParentPath(d.path);
  d.name = NameOf(d.properties, address);
  std::int64_t number = 0;
  d.hasClass =
      ReadInteger(d.properties, "Class", 0, std::numeric_limits<std::uint32_t>::max(), number) &&
      number != 0;
  d.classOfDevice = d.hasClass ? static_cast<std::uint32_t>(number) : 0;
  d.paired = ReadBool(d.properties, "Paired");
  d.bonded = ReadBool(d.properties, "Bonded");
  d.trusted = ReadBool(d.properties, "Trusted");
  d.connected = ReadBool(d.properties, "Connected");
  d.hasRssi = ReadInteger(d.properties, "RSSI", std::numeric_limits<std::int16_t>::min(),
                          std::numeric_limits<std::int16_t>::max(), number);
  d.rssi = d.hasRssi ? static_cast<std::int32_t>(number) : 0;
  const std::string* ownName = ReadString(d.properties, "Name");
  d.ownName = ownName ? CutUtf8(*ownName, kMaxNameBytes) : std::string();
  const std::string* alias = ReadString(d.properties, "Alias");
  d.alias =
      alias && !IsAddressAlias(*alias, address) ? CutUtf8(*alias, kMaxNameBytes) : std::string();
  d.blocked = ReadBool(d.properties, "Blocked");
  d.hasTxPower = ReadInteger(d.properties, "TxPower", std::numeric_limits<std::int16_t>::min(),
                             std::numeric_limits<std::int16_t>::max(), number);
  d.txPower = d.hasTxPower ? static_cast<std::int16_t>(number) : 0;
  d.uuids.clear();
  if (const Value* uuids = Find(d.properties, "UUIDs");
      uuids && uuids->kind == Value::Kind::StringList)
    d.uuids = uuids->list;
  d.le = ReadLeFields(d.properties);
  return true;
}

void DeriveAdapter(Adapter& a) {
  const std::string* addressText = ReadString(a.properties, "Address");
  BluetoothAddress address = 0;
  a.hasAddress = addressText && BluetoothAddress::Parse(*addressText, address);
  a.address = a.hasAddress ? address : 0;
  a.name = NameOf(a.properties, address);
  std::int64_t number = 0;
  a.classOfDevice =
      ReadInteger(a.properties, "Class", 0, std::numeric_limits<std::uint32_t>::max(), number)
          ? static_cast<std::uint32_t>(number)
          : 0;
  a.powered = ReadBool(a.properties, "Powered");
}

platform::DeviceChange CustomEvent(const platform::EventGuid& guid) {
  platform::DeviceChange c;
  c.eventType = platform::kCustomEvent;
  c.hasRecord = true;
  c.eventGuid = guid;
  return c;
}

void AddInRange(const Device& d, std::uint32_t previousFlags, TreeChanges& out) {
  platform::DeviceChange c = CustomEvent(platform::kRadioInRangeGuid);
  c.flags = d.Flags();
  c.previousFlags = previousFlags;
  c.address = d.address;
  c.name = d.name;
  out.radioEvents.push_back({d.adapterPath, std::move(c)});
}

void AddOutOfRange(const Device& d, TreeChanges& out) {
  platform::DeviceChange c = CustomEvent(platform::kRadioOutOfRangeGuid);
  c.deviceAddress = d.address;
  out.radioEvents.push_back({d.adapterPath, std::move(c)});
}

void AddConnection(const Device& d, TreeChanges& out) {
  platform::DeviceChange c = CustomEvent(platform::kHciEventGuid);
  c.bthAddress = d.address;
  c.connected = d.connected;
  out.radioEvents.push_back({d.adapterPath, std::move(c)});
}

// What of a device the events compare, before and after a change.
struct DeviceState {
  std::uint32_t flags = 0;
  std::string name;
  bool hasClass = false;
  std::uint32_t classOfDevice = 0;
  bool remembered = false;
  bool paired = false;
  bool connected = false;
  bool hasRssi = false;

  explicit DeviceState(const Device& d)
      : flags(d.Flags()),
        name(d.name),
        hasClass(d.hasClass),
        classOfDevice(d.classOfDevice),
        remembered(d.Remembered()),
        paired(d.paired),
        connected(d.connected),
        hasRssi(d.hasRssi) {}
  // A change the in-range event reports (a connection has its own event).
  bool DescriptionDiffers(const DeviceState& o) const {
    return name != o.name || hasClass != o.hasClass || classOfDevice != o.classOfDevice ||
           remembered != o.remembered || paired != o.paired;
  }
};

// The events of one device changing from `before` to `d`; `rssiReported`
// when the change carried a signal strength (a sighting).
void ReportDeviceChange(const DeviceState& before, const Device& d, bool rssiReported,
                        TreeChanges& out) {
  const DeviceState after(d);
  const bool cameIntoRange = !before.hasRssi && after.hasRssi;
  const bool wentOutOfRange = before.hasRssi && !after.hasRssi;
  if (cameIntoRange || after.DescriptionDiffers(before)) AddInRange(d, before.flags, out);
  if (before.connected != after.connected) {
    AddConnection(d, out);
    if (after.connected) out.used.push_back(d.address);
  }
  if (wentOutOfRange) AddOutOfRange(d, out);
  if ((rssiReported && after.hasRssi) || (after.connected && !before.connected))
    out.seen.push_back(d.address);
}

}  // namespace

bool AddressFromDevicePath(std::string_view path, BluetoothAddress& out) {
  const auto slash = path.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (last.size() != 4 + 17 || last.substr(0, 4) != "dev_") return false;
  return BluetoothAddress::Parse(last.substr(4), out, '_');
}

std::uint32_t Device::Flags() const {
  std::uint32_t flags = platform::kFlagAddress;
  if (hasClass) flags |= platform::kFlagClass;
  if (!name.empty()) flags |= platform::kFlagName;
  if (paired) flags |= platform::kFlagPaired;
  if (Remembered()) flags |= platform::kFlagPersonal;
  if (connected) flags |= platform::kFlagConnected;
  return flags;
}

void ObjectTree::Reset(const std::vector<ManagedObject>& objects, bool announce, TreeChanges& out) {
  std::vector<std::string> before;
  for (const auto& [path, adapter] : m_adapters) before.push_back(path);
  m_adapters.clear();
  m_devices.clear();
  for (const auto& object : objects) {
    if (auto it = object.interfaces.find(kAdapterInterface); it != object.interfaces.end()) {
      Adapter a;
      a.path = object.path;
      a.properties = it->second;
      DeriveAdapter(a);
      m_adapters[object.path] = std::move(a);
    }
  }
  for (const auto& object : objects) {
    auto it = object.interfaces.find(kDeviceInterface);
    if (it == object.interfaces.end()) continue;
    Device d;
    d.path = object.path;
    d.properties = it->second;
    if (!DeriveDevice(d)) continue;
    if (d.hasRssi || d.connected) out.seen.push_back(d.address);
    if (d.connected) out.used.push_back(d.address);
    m_devices[object.path] = std::move(d);
  }
  std::vector<std::string> after;
  for (const auto& [path, adapter] : m_adapters) after.push_back(path);
  if (announce && before != after) out.deviceTreeChanged = true;
}

void ObjectTree::AddInterfaces(const ManagedObject& object, TreeChanges& out) {
  if (auto it = object.interfaces.find(kAdapterInterface); it != object.interfaces.end()) {
    auto [pos, inserted] = m_adapters.try_emplace(object.path);
    Adapter& a = pos->second;
    a.path = object.path;
    for (const auto& [name, value] : it->second) a.properties[name] = value;
    DeriveAdapter(a);
    if (inserted) out.deviceTreeChanged = true;
  }
  if (auto it = object.interfaces.find(kDeviceInterface); it != object.interfaces.end())
    AddDevice(object.path, it->second, out);
}

void ObjectTree::AddDevice(const std::string& path, const Properties& properties,
                           TreeChanges& out) {
  if (auto existing = m_devices.find(path); existing != m_devices.end()) {
    // Announced again: take it as an update of what we hold.
    ChangeProperties(path, kDeviceInterface, properties, {}, out);
    return;
  }
  Device d;
  d.path = path;
  d.properties = properties;
  if (!DeriveDevice(d)) return;
  // A device BlueZ loads from its store (remembered, not seen) is not an
  // event; one that was seen or is connected has come into range.
  if (d.hasRssi || d.connected) {
    AddInRange(d, 0, out);
    out.seen.push_back(d.address);
  }
  if (d.connected) out.used.push_back(d.address);
  out.changed.push_back(d.address);
  m_devices[path] = std::move(d);
}

void ObjectTree::RemoveDevice(std::map<std::string, Device>::iterator it, bool report,
                              TreeChanges& out) {
  if (report) AddOutOfRange(it->second, out);
  out.removed.push_back(it->second.address);
  m_devices.erase(it);
}

void ObjectTree::RemoveInterfaces(const std::string& path,
                                  const std::vector<std::string>& interfaces, TreeChanges& out) {
  for (const auto& interface : interfaces) {
    if (interface == kDeviceInterface) {
      if (auto it = m_devices.find(path); it != m_devices.end()) RemoveDevice(it, true, out);
    } else if (interface == kAdapterInterface) {
      if (m_adapters.erase(path) == 0) continue;
      out.deviceTreeChanged = true;
      // Its devices go with it, whether or not BlueZ says so; the radio is
      // gone, so nothing is reported for them.
      for (auto it = m_devices.begin(); it != m_devices.end();) {
        auto next = std::next(it);
        if (it->second.adapterPath == path) RemoveDevice(it, false, out);
        it = next;
      }
    }
  }
}

void ObjectTree::ChangeProperties(const std::string& path, const std::string& interface,
                                  const Properties& changed,
                                  const std::vector<std::string>& invalidated, TreeChanges& out) {
  if (interface == kAdapterInterface) {
    auto it = m_adapters.find(path);
    if (it == m_adapters.end()) return;
    for (const auto& [name, value] : changed) it->second.properties[name] = value;
    for (const auto& name : invalidated) it->second.properties.erase(name);
    DeriveAdapter(it->second);
    return;
  }
  if (interface != kDeviceInterface) return;
  auto it = m_devices.find(path);
  if (it == m_devices.end()) return;
  Device& d = it->second;
  const DeviceState before(d);
  Properties previous = d.properties;
  for (const auto& [name, value] : changed) d.properties[name] = value;
  for (const auto& name : invalidated) d.properties.erase(name);
  const BluetoothAddress oldAddress = d.address;
  if (!DeriveDevice(d) || d.address != oldAddress) {
    // The identity of a device never changes; an update that would change
    // it or take it away is not taken.
    d.properties = std::move(previous);
    DeriveDevice(d);
    return;
  }
  ReportDeviceChange(before, d, changed.count("RSSI") != 0, out);
  out.changed.push_back(d.address);
}

void ObjectTree::Clear(TreeChanges& out) {
  if (!m_adapters.empty()) out.deviceTreeChanged = true;
  for (const auto& [path, d] : m_devices) out.removed.push_back(d.address);
  m_adapters.clear();
  m_devices.clear();
}

std::vector<const Adapter*> ObjectTree::Adapters() const {
  std::vector<const Adapter*> out;
  for (const auto& [path, a] : m_adapters) out.push_back(&a);
  return out;
}

const Adapter* ObjectTree::FindAdapter(const std::string& path) const {
  auto it = m_adapters.find(path);
  return it == m_adapters.end() ? nullptr : &it->second;
}

std::vector<const Device*> ObjectTree::DevicesOf(const std::string& adapterPath) const {
  std::vector<const Device*> out;
  for (const auto& [path, d] : m_devices)
    if (d.adapterPath == adapterPath) out.push_back(&d);
  return out;
}

const Device* ObjectTree::FindDevice(const std::string& path) const {
  auto it = m_devices.find(path);
  return it == m_devices.end() ? nullptr : &it->second;
}

std::vector<const Device*> ObjectTree::FindDevices(BluetoothAddress address) const {
  std::vector<const Device*> out;
  for (const auto& [path, d] : m_devices)
    if (d.address == address) out.push_back(&d);
  return out;
}

bool MatchesSearch(const Device& device, const platform::DeviceSearch& search) {
  const bool remembered = device.Remembered();
  return (search.returnAuthenticated != 0 && device.Authenticated()) ||
         (search.returnRemembered != 0 && remembered) ||
         (search.returnUnknown != 0 && !remembered) ||
         (search.returnConnected != 0 && device.connected);
}

}  // namespace wren::bluez
