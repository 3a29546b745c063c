#pragma once
// Our copy of BlueZ's objects with the times BlueZ does not keep, under
// one lock: the object tree, the last-seen and last-used times and their
// file, and whether BlueZ answered. Every question the ports ask about
// radios and devices is answered from here. No Qt here.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "adapters/bluez/DeviceTimes.h"
#include "adapters/bluez/ObjectTree.h"

namespace wren::bluez {

// One property of a device as BlueZ reports it, in words.
struct PropertyText {
  std::string name;
  std::string value;
};

// What one change of the tree meant, ready to deliver.
struct AppliedChange {
  TreeChanges changes;
  bool timesChanged = false;  // to be saved
  // With device listeners: each device that changed, and whether it was
  // seen just now.
  std::vector<std::pair<platform::DeviceProperties, bool>> updated;
};

class DeviceCache {
public:
  explicit DeviceCache(std::string timesPath) : m_timesPath(std::move(timesPath)) {}

  // Reads the times file. One that cannot be read is left alone: the times
  // of this run are then kept in memory only.
  void LoadTimes();
  // Writes the times when they changed.
  void SaveTimes();

  // Runs `change` on the tree; `describeDevices` when someone listens.
  AppliedChange Apply(const std::function<void(ObjectTree&, TreeChanges&)>& change,
                      bool describeDevices);

  void SetBusState(bool answered, std::string uniqueName);
  bool Answered() const;
  std::string UniqueName() const;

  // Adapter object paths, in path order; only powered ones when asked.
  std::vector<std::string> Adapters(bool poweredOnly) const;
  // Those of `paths` that exist and are powered.
  std::vector<std::string> Powered(const std::vector<std::string>& paths) const;
  bool RadioInfoOf(const std::string& adapterPath, platform::RadioInfo& info) const;
  // The devices of powered `adapters` a search matches.
  std::vector<platform::DeviceInfo> Matching(const std::vector<std::string>& adapters,
                                             const platform::DeviceSearch& search) const;
  // Adds the devices of `adapters` a radio can reach now (in range,
  // connected or remembered), each once.
  void Reachable(const std::vector<std::string>& adapters,
                 std::vector<platform::BluetoothAddress>& out) const;
  // Radio addresses to ask a device's services through: its own first.
  std::vector<platform::BluetoothAddress> RadiosFor(platform::BluetoothAddress device) const;
  // The adapter whose registrations hear a request about `devicePath`;
  // empty when the device and its adapter are unknown.
  std::string AdapterForRequest(const std::string& devicePath) const;
  // The object path of a device, preferring one on a powered adapter;
  // empty when BlueZ does not know it. `adapterPath` gets its adapter.
  std::string DevicePath(platform::BluetoothAddress device,
                         std::string* adapterPath = nullptr) const;

  std::vector<PropertyText> RawProperties(platform::BluetoothAddress device) const;
  std::vector<platform::DeviceProperties> Devices() const;
  bool Properties(platform::BluetoothAddress device, platform::DeviceProperties& out) const;

private:
  // Under m_mutex.
  platform::DeviceInfo InfoOf(const Device& d) const;
  platform::DeviceProperties PropertiesOf(const Device& d) const;

  mutable std::mutex m_mutex;
  std::string m_timesPath;
  ObjectTree m_tree;
  DeviceTimes m_times;
  bool m_timesWritable = false;
  bool m_answered = false;
  std::string m_uniqueName;
};

}  // namespace wren::bluez
