#pragma once
// The Bluetooth stack port and the device manager port on BlueZ 5, over
// the D-Bus system bus (which DBUS_SYSTEM_BUS_ADDRESS may point
// elsewhere). Nothing of D-Bus shows here: the connection runs on a thread
// of its own, keeps a cached copy of BlueZ's objects up to date from its
// signals, and the ports' calls answer from that copy. An inquiry is a
// discovery session of the asked length; device operations are Device1
// and Adapter1 calls, their errors put in words in one place
// (BluezErrors).
//
// Needs a QCoreApplication (or QApplication) to exist.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "adapters/bluez/DeviceCache.h"

namespace wren::bluez {

struct BluezOptions {
  // Register a pairing agent that reports requests and declines them. Off
  // by default: the desktop's own agent normally answers. While the user
  // has a pairing agent registered with the device manager, ours is
  // registered anyway and asks the user.
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

class BluezStack : public platform::BluetoothStack, public platform::DeviceManager {
public:
  // Connects and waits (up to options.startupWaitMs) for BlueZ's first
  // answer, so the first scan sees the radios. Null with `error` when no
  // QCoreApplication exists.
  static std::unique_ptr<BluezStack> Create(const BluezOptions& options, std::string& error);

  // BlueZ answered on the bus (now, or at its last answer).
  virtual bool ServiceAnswered() const = 0;
  // Our own unique name on the bus ("" while not connected).
  virtual std::string BusUniqueName() const = 0;

  // Every org.bluez.Device1 property of the device, by name, in words;
  // empty when the device is not known.
  virtual std::vector<PropertyText> RawProperties(platform::BluetoothAddress device) const = 0;
};

}  // namespace wren::bluez
