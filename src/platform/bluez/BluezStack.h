#pragma once
// The Bluetooth stack port on BlueZ 5, over the D-Bus system bus (which
// DBUS_SYSTEM_BUS_ADDRESS may point elsewhere). Nothing of D-Bus shows
// here: the connection runs on a thread of its own, keeps a cached copy of
// BlueZ's objects up to date from its signals, and the port's calls answer
// from that copy. An inquiry is a discovery session of the asked length.
//
// Besides the port, it offers what the property sheet and the selection
// wizard need: every property of a device, kept live; a discovery that
// reports what it finds; pairing with errors in words.
//
// Needs a QCoreApplication (or QApplication) to exist.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/BluetoothStack.h"
#include "platform/bluez/BluezErrors.h"

namespace wren::bluez {

struct BluezOptions {
  // Register a pairing agent that reports requests and declines them. Off
  // by default: the desktop's own agent normally answers.
  bool pairingAgent = false;
  // Where last-seen and last-used times are kept; empty: "device-times.txt"
  // in the data folder.
  std::string timesFile;
  // BlueZ's storage, for the service records it cached.
  std::string recordCacheRoot = "/var/lib/bluetooth";
  // The SDP client library, loaded when first needed.
  std::string sdpLibrary = "libbluetooth.so.3";
  // Length of the inquiry before a service query, in units of 1.28 s.
  std::uint8_t lookupMultiplier = 8;
  // How long Create waits for BlueZ's first answer.
  int startupWaitMs = 3000;
  // How often to try the bus again once it is gone.
  int reconnectMs = 1000;
  // Changed times are written at most this often.
  int saveDelayMs = 5000;
};

// One property of a device as the property sheet shows it.
struct PropertyText {
  std::string name;
  std::string value;
};

struct PairResult {
  BluezError error = BluezError::None;
  std::string words;   // ErrorWords(error)
  std::string detail;  // BlueZ's own message, when it gave one
  bool Ok() const { return error == BluezError::None; }
};

// Hears every change of any device's properties. Called on the stack's
// thread, under the same rules as a DeviceChangeSink.
class DeviceListener {
public:
  virtual ~DeviceListener() = default;
  // `sighted`: the device was seen just now (a discovery's find).
  virtual void OnDeviceChanged(const platform::DeviceInfo& device, bool sighted) = 0;
  virtual void OnDeviceRemoved(platform::BluetoothAddress address) = 0;
};

// While it exists, every powered adapter discovers.
class DiscoverySession {
public:
  virtual ~DiscoverySession() = default;
};

class BluezStack : public platform::BluetoothStack {
public:
  // Connects and waits (up to options.startupWaitMs) for BlueZ's first
  // answer, so the first scan sees the radios. Null with `error` when no
  // QCoreApplication exists.
  static std::unique_ptr<BluezStack> Create(const BluezOptions& options, std::string& error);

  // BlueZ answered on the bus (now, or at its last answer).
  virtual bool ServiceAnswered() const = 0;
  // Our own unique name on the bus ("" while not connected).
  virtual std::string BusUniqueName() const = 0;

  // Every org.bluez.Device1 property of the device, by name; empty when
  // the device is not known.
  virtual std::vector<PropertyText> DeviceProperties(platform::BluetoothAddress device) const = 0;
  virtual std::unique_ptr<platform::NotificationHandle> WatchDevices(DeviceListener& listener) = 0;
  virtual std::unique_ptr<DiscoverySession> StartDiscovery() = 0;
  // Pairs with the device; `done` is called once, on the stack's thread.
  virtual void Pair(platform::BluetoothAddress device, std::function<void(const PairResult&)> done) = 0;
};

}  // namespace wren::bluez
