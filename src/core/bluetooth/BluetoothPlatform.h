#pragma once
// The program's gateway to the Bluetooth stack: radio presence and event
// registration, the radio and device scan, the stack's dialogs, service
// discovery and the vendor lookup of the scan.

#include <cstdint>
#include <ctime>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/bluetooth/DeviceRecord.h"
#include "core/bluetooth/SearchParams.h"
#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"
#include "core/refdata/VendorDatabase.h"

namespace wren {

// One registration per local radio; a null entry stands for a radio whose
// registration failed.
using NotifyHandleList = std::vector<std::unique_ptr<platform::NotificationHandle>>;

class BluetoothPlatform {
public:
  explicit BluetoothPlatform(platform::BluetoothStack& stack);
  virtual ~BluetoothPlatform();
  BluetoothPlatform(const BluetoothPlatform&) = delete;
  BluetoothPlatform& operator=(const BluetoothPlatform&) = delete;

  platform::BluetoothStack& Stack() { return m_stack; }

  // Presence and registration.
  bool IsRadioPresent();
  // Unregisters `handles`, then registers `sink` for the events of every
  // local radio, one entry per radio; false (and `handles` empty) when
  // there is no radio.
  bool RegisterRadioNotifications(platform::DeviceChangeSink& sink, NotifyHandleList& handles);
  // Unregisters every handle, first to last, and empties the list.
  void UnregisterRadioNotifications(NotifyHandleList& handles);
  // Adapter insertion and removal reach every window without a radio
  // registration; this asks for them.
  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(platform::DeviceChangeSink& sink);

  // "%02X:%02X:%02X:%02X:%02X:%02X" of the six low bytes, most significant first.
  static std::string FormatAddress(BluetoothAddress address);

  // Appends one record per local radio (when its information reads) and
  // one per device the stack reports through it.
  // `cancel` ends a running inquiry early (the radio then adds no devices).
  void ScanDevices(DeviceList& list, SearchParams params, std::stop_token cancel = {});

  // 1 when a remembered or authenticated device has exactly this address
  // text and its property sheet was shown through `dialogs`, else 0.
  int ShowDeviceProperties(platform::DeviceDialogs& dialogs, platform::WindowHandle parent,
                           std::string_view address);
  // The selection dialog with its add-device wizard; returns 0.
  int SelectDevices(platform::DeviceDialogs& dialogs, platform::WindowHandle parent);

  // Moves `t` by minus the time-zone bias in force now.
  static void ToLocalTime(std::time_t& t);
  // A stack time as the scan shows it, "%H:%M:%S %m/%d/%Y": a time before
  // 1900 (never) is the epoch; the calendar fields are read as local time,
  // moved by ToLocalTime and formatted as local time; empty when the
  // instant is negative.
  static std::string FormatStackTime(const platform::UtcTime& time);
  // The same with a bias (minutes, as platform::CurrentTimeZoneBiasMinutes
  // gives it) read beforehand.
  static std::string FormatStackTime(const platform::UtcTime& time, int biasMinutes);

  // Appends every text value of the service records of the devices in range
  // whose "(address)" text contains `address`, each followed by ",".
  // Returns -1 when there is no Bluetooth socket, else 0.
  int QueryServices(std::string_view address, std::string& services, std::stop_token cancel = {});

  // The vendor database the scan names producers from.
  int LoadVendorDatabase();
  VendorDatabase& Vendors() { return m_vendors; }
  // Safe from several threads at once (the database is read-only once loaded).
  int LookUpVendor(std::string& company, std::string_view prefix) const;
  // The Producer text of a device: the vendor of its address prefix, or
  // for a random LE address (which has no prefix) the company of its
  // manufacturer data. Empty when neither is listed.
  std::string ProducerOf(BluetoothAddress address, const platform::LeFields& le) const;
  // Sets the Type and Services texts of a device and returns its image:
  // from its class of device, or, for a Bluetooth LE device without one,
  // from its appearance and service UUIDs.
  static int DescribeDevice(std::uint32_t classOfDevice, const platform::LeFields& le,
                            const std::vector<std::string>& uuids, std::string& type,
                            std::string& services);

private:
  platform::BluetoothStack& m_stack;
  VendorDatabase m_vendors;
};

}  // namespace wren
