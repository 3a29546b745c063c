#pragma once
// The cached picture of BlueZ's objects: adapters and devices with every
// property as last reported, kept up to date from the object manager's
// answer and signals. Each change says what it means for the program:
// an adapter that came or went, the device events of a radio, sightings
// for the last-seen and last-used times. Not thread-safe: the stack keeps
// it under its lock. No Qt here.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ports/BluetoothStack.h"
#include "adapters/bluez/BluezTypes.h"

namespace wren::bluez {

using platform::BluetoothAddress;

// The address in a device path ending in "dev_00_1A_2B_3C_4D_5E".
bool AddressFromDevicePath(std::string_view path, BluetoothAddress& out);

struct Adapter {
  std::string path;
  bool hasAddress = false;  // without one its information cannot be read
  BluetoothAddress address = 0;
  std::string name;
  std::uint32_t classOfDevice = 0;
  bool powered = false;
  Properties properties;  // every org.bluez.Adapter1 property
};

struct Device {
  std::string path;
  std::string adapterPath;
  BluetoothAddress address = 0;
  std::string name;
  bool hasClass = false;  // a non-zero class was reported
  std::uint32_t classOfDevice = 0;
  bool paired = false;
  bool bonded = false;
  bool trusted = false;
  bool connected = false;
  bool hasRssi = false;  // in range: BlueZ reports a signal strength
  std::int32_t rssi = 0;
  // What the property sheet shows besides.
  std::string ownName;  // the Name property alone
  std::string alias;    // the Alias property, unless it only spells the address
  bool blocked = false;
  bool hasTxPower = false;
  std::int16_t txPower = 0;
  std::vector<std::string> uuids;
  platform::LeFields le;  // AddressType, Appearance, ManufacturerData, ServiceData
  Properties properties;  // every org.bluez.Device1 property

  bool Remembered() const { return paired || bonded || trusted; }
  bool Authenticated() const { return paired; }
  // The radio-in-range flag bits of the device as it is now.
  std::uint32_t Flags() const;
};

// What one change of the tree means.
struct TreeChanges {
  struct RadioEvent {
    std::string adapterPath;  // the radio whose registrations hear it
    platform::DeviceChange change;
  };
  bool deviceTreeChanged = false;         // an adapter came or went
  std::vector<RadioEvent> radioEvents;    // in order
  std::vector<BluetoothAddress> seen;     // sighted now
  std::vector<BluetoothAddress> used;     // connected now
  std::vector<BluetoothAddress> changed;  // any property of these devices changed
  std::vector<BluetoothAddress> removed;  // device objects gone

  bool Empty() const {
    return !deviceTreeChanged && radioEvents.empty() && seen.empty() && used.empty() &&
           changed.empty() && removed.empty();
  }
};

class ObjectTree {
public:
  // Replaces the tree with an object manager's answer. With `announce`
  // (BlueZ came back), adapters that came or went are reported; devices
  // never are: they were there before we looked.
  void Reset(const std::vector<ManagedObject>& objects, bool announce, TreeChanges& out);
  void AddInterfaces(const ManagedObject& object, TreeChanges& out);
  void RemoveInterfaces(const std::string& path, const std::vector<std::string>& interfaces,
                        TreeChanges& out);
  void ChangeProperties(const std::string& path, const std::string& interface,
                        const Properties& changed, const std::vector<std::string>& invalidated,
                        TreeChanges& out);
  // BlueZ or the bus went away: everything is gone.
  void Clear(TreeChanges& out);

  std::vector<const Adapter*> Adapters() const;  // in path order (hci0, hci1, ...)
  const Adapter* FindAdapter(const std::string& path) const;
  // The devices reported through one adapter, in path order.
  std::vector<const Device*> DevicesOf(const std::string& adapterPath) const;
  const Device* FindDevice(const std::string& path) const;
  std::vector<const Device*> FindDevices(BluetoothAddress address) const;
  std::size_t DeviceCount() const { return m_devices.size(); }

private:
  void AddDevice(const std::string& path, const Properties& properties, TreeChanges& out);
  void RemoveDevice(std::map<std::string, Device>::iterator it, bool report, TreeChanges& out);

  std::map<std::string, Adapter> m_adapters;
  std::map<std::string, Device> m_devices;
};

// True when a device search with these flags returns this device:
// authenticated, remembered, unknown (seen but not remembered) or
// connected, each when asked for.
bool MatchesSearch(const Device& device, const platform::DeviceSearch& search);

}  // namespace wren::bluez
