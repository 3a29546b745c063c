#pragma once
// The device manager's operations on BlueZ: Device1 calls (Pair,
// CancelPairing, Connect, Disconnect), its properties (Trusted, Blocked,
// Alias) and Adapter1.RemoveDevice. Each is sent on the D-Bus thread and
// answered once: BlueZ's reply, its error in words, or why it was not sent.

#include <string>

#include "ports/DeviceManager.h"

class QString;
class QVariant;

namespace wren::bluez {

class DeviceCache;
class WorkerLink;

class DeviceRequests {
public:
  DeviceRequests(WorkerLink& link, const DeviceCache& cache) : m_link(link), m_cache(cache) {}

  void Pair(platform::BluetoothAddress device, platform::DeviceDone done);
  void CancelPairing(platform::BluetoothAddress device, platform::DeviceDone done);
  void SetTrusted(platform::BluetoothAddress device, bool trusted, platform::DeviceDone done);
  void SetBlocked(platform::BluetoothAddress device, bool blocked, platform::DeviceDone done);
  void Connect(platform::BluetoothAddress device, platform::DeviceDone done);
  void Disconnect(platform::BluetoothAddress device, platform::DeviceDone done);
  void SetAlias(platform::BluetoothAddress device, const std::string& alias,
                platform::DeviceDone done);
  void Remove(platform::BluetoothAddress device, platform::DeviceDone done);

private:
  void CallDevice(platform::BluetoothAddress device, const char* method, int timeoutMs,
                  platform::DeviceDone done);
  void SetProperty(platform::BluetoothAddress device, const char* name, const QVariant& value,
                   platform::DeviceDone done);

  WorkerLink& m_link;
  const DeviceCache& m_cache;
};

}  // namespace wren::bluez
