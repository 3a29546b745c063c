#pragma once
// The port to the Bluetooth stack: everything the program asks of it, in
// our own value types. Adapters: the simulated stack (platform/sim) and
// BlueZ over D-Bus (platform/bluez).
//
// Threads. Every call may come from any thread, several at once (scan
// workers, the audit dialog's worker, the user-interface thread). A stack
// that answers from a cache under a lock fits as well as one that blocks.
// Only an inquiry takes long (FindDevices with issueInquiry, LookUpDevices);
// both take a std::stop_token and return promptly, with no result, once
// stop is requested, so that closing the program never waits for a radio.
//
// Handles. Every find and every registration is an object; destroying it
// ends the find or the registration. Destroy them before the stack they
// came from.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "base/BluetoothAddress.h"

namespace wren::platform {

using BluetoothAddress = wren::BluetoothAddress;

// A calendar time in UTC as the stack keeps it. A device never seen or
// never used has every field 0.
struct UtcTime {
  int year = 0;    // e.g. 2009; 0 when never
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
  bool IsZero() const {
    return year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0;
  }
  bool operator==(const UtcTime&) const = default;
};

// Texts the stack reports (names) are UTF-8.
struct RadioInfo {
  BluetoothAddress address = 0;
  std::string name;
  std::uint32_t classOfDevice = 0;
};

// How a Bluetooth LE device's address was assigned. A random address has no
// vendor prefix and may change from one sighting to the next.
enum class AddressType { Unknown, Public, Random };

// What a Bluetooth LE device reports in place of a class of device. Every
// part is optional: a classic device has none of them.
struct LeFields {
  AddressType addressType = AddressType::Unknown;
  std::optional<std::uint16_t> appearance;
  // Company identifier and its bytes, in the order the stack gave them.
  std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> manufacturerData;
  // Service UUID (lower-case 128-bit text) and its bytes.
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> serviceData;
  bool operator==(const LeFields&) const = default;
};

struct DeviceInfo {
  BluetoothAddress address = 0;
  std::uint32_t classOfDevice = 0;
  bool connected = false;
  bool remembered = false;
  bool authenticated = false;
  UtcTime lastSeen;
  UtcTime lastUsed;
  std::string name;
  LeFields le;
  std::vector<std::string> uuids;  // service UUIDs, lower-case 128-bit text
};

// An open local radio. Destroying it closes it.
class RadioHandle {
public:
  virtual ~RadioHandle() = default;
  // False when the radio's information cannot be read (the radio may be
  // gone since it was enumerated).
  virtual bool GetInfo(RadioInfo& info) const = 0;
};

// An enumeration of the local radios, in the stack's order.
class RadioFind {
public:
  virtual ~RadioFind() = default;
  // The next radio; null when there is none left. The first call on a
  // find that FindRadios returned always gives a radio.
  virtual std::unique_ptr<RadioHandle> Next() = 0;
};

// What a device search asks for. The flags are the scan's search
// parameters, passed as they are (non-zero = yes).
struct DeviceSearch {
  std::int32_t returnAuthenticated = 0;
  std::int32_t returnRemembered = 0;
  std::int32_t returnUnknown = 0;
  std::int32_t returnConnected = 0;
  std::int32_t issueInquiry = 0;
  std::uint8_t timeoutMultiplier = 0;  // inquiry length in units of 1.28 s
  const RadioHandle* radio = nullptr;  // null: the devices of every radio
};

// The devices one search matched, in the stack's order.
class DeviceFind {
public:
  virtual ~DeviceFind() = default;
  // Fills `info` with the next device; false when there is none left.
  virtual bool Next(DeviceInfo& info) = 0;
};

// A find over the devices a stack matched at search time, for stacks that
// answer from a snapshot.
class SnapshotDeviceFind final : public DeviceFind {
public:
  explicit SnapshotDeviceFind(std::vector<DeviceInfo> devices) : m_devices(std::move(devices)) {}
  bool Next(DeviceInfo& info) override {
    if (m_next >= m_devices.size()) return false;
    info = m_devices[m_next++];
    return true;
  }

private:
  std::vector<DeviceInfo> m_devices;
  std::size_t m_next = 0;
};

// Result of the device lookup of a service query.
enum class LookupStatus {
  Ok,           // the lookup ran (it may have found nothing)
  Unavailable,  // no Bluetooth socket or protocol information (no radio)
  NotStarted,   // the lookup could not begin
};

// One service record as the service lookup returns it: the raw SDP
// data-element bytes of the record, when the stack gave any.
struct ServiceRecord {
  bool hasBlob = false;
  std::vector<std::uint8_t> blob;
};

// Device-change notifications. The event types and identifiers are the
// ones the event log tells apart.
inline constexpr std::uint32_t kDeviceNodesChanged = 7;  // a device node was added or removed
inline constexpr std::uint32_t kCustomEvent = 0x8006;    // a Bluetooth event of a registered radio

// 16 bytes in the order of the identifier's text form.
using EventGuid = std::array<std::uint8_t, 16>;
inline constexpr EventGuid kHciEventGuid = {0xFC, 0x24, 0x00, 0x62, 0x15, 0x41, 0x49, 0xBE,
                                            0xB4, 0x63, 0x84, 0xC4, 0xDC, 0xD7, 0xBF, 0x7F};
inline constexpr EventGuid kL2capEventGuid = {0x7E, 0xAE, 0x40, 0x30, 0xB7, 0x09, 0x4A, 0xA8,
                                              0xAC, 0x55, 0xE9, 0x53, 0x82, 0x9C, 0x9D, 0xAA};
inline constexpr EventGuid kRadioInRangeGuid = {0xEA, 0x3B, 0x5B, 0x82, 0x26, 0xEE, 0x45, 0x0E,
                                                0xB0, 0xD8, 0xD2, 0x6F, 0xE3, 0x0A, 0x38, 0x69};
inline constexpr EventGuid kRadioOutOfRangeGuid = {0xE2, 0x88, 0x67, 0xC9, 0xC2, 0xAA, 0x4C, 0xED,
                                                   0xB9, 0x69, 0x45, 0x70, 0x86, 0x60, 0x37, 0xC4};
inline constexpr EventGuid kPinRequestGuid = {0xBD, 0x19, 0x8B, 0x7C, 0x24, 0xAB, 0x4B, 0x9A,
                                              0x8C, 0x0D, 0xA8, 0xEA, 0x83, 0x49, 0xAA, 0x16};

// Device-information flags of a radio-in-range event.
inline constexpr std::uint32_t kFlagAddress = 0x01;
inline constexpr std::uint32_t kFlagClass = 0x02;
inline constexpr std::uint32_t kFlagName = 0x04;
inline constexpr std::uint32_t kFlagPaired = 0x08;
inline constexpr std::uint32_t kFlagPersonal = 0x10;
inline constexpr std::uint32_t kFlagConnected = 0x20;

// One notification. Which payload fields mean something depends on the
// identifier; the others stay 0.
struct DeviceChange {
  std::uint32_t eventType = 0;  // kDeviceNodesChanged or kCustomEvent
  // Custom events: false when the stack sent no record (then nothing
  // below is set).
  bool hasRecord = false;
  EventGuid eventGuid{};
  // HCI and L2CAP events.
  BluetoothAddress bthAddress = 0;
  bool connected = false;
  bool initiated = false;  // L2CAP: the local host opened the connection
  // Radio in range: the device's flags now and before, address and name
  // (the name as received; readers take it up to its first zero byte).
  std::uint32_t flags = 0;
  std::uint32_t previousFlags = 0;
  BluetoothAddress address = 0;
  std::string name;
  // Radio out of range.
  BluetoothAddress deviceAddress = 0;
};

// Receives notifications. Called on a thread of the stack (or, in the
// simulation with stepped time, inside the call that steps it); one call
// at a time per stack. A sink must return quickly and must not wait for a
// thread that may be destroying its registration: post to your own thread.
class DeviceChangeSink {
public:
  virtual ~DeviceChangeSink() = default;
  virtual void OnDeviceChange(const DeviceChange& change) = 0;
};

// A registration for notifications. Destroying it unregisters; once the
// destructor has returned the sink is not called again (a delivery in
// progress on another thread is waited for; destroying it from inside the
// sink's own call is allowed).
class NotificationHandle {
public:
  virtual ~NotificationHandle() = default;
};

class BluetoothStack {
public:
  virtual ~BluetoothStack() = default;

  // A line for the user saying which stack this is ("Simulated Bluetooth
  // stack: demo scenario", ...), and whether it is a simulation, which the
  // program must say plainly wherever it shows devices.
  virtual std::string Description() const = 0;
  virtual bool IsSimulation() const = 0;

  // The local radios; null when there is none.
  virtual std::unique_ptr<RadioFind> FindRadios() = 0;

  // The devices matching `search`; null when none matches, and when `cancel`
  // was requested during the inquiry. With issueInquiry the call blocks for
  // up to timeoutMultiplier x 1.28 s while the inquiry runs.
  virtual std::unique_ptr<DeviceFind> FindDevices(const DeviceSearch& search,
                                                  std::stop_token cancel) = 0;

  // Service discovery, first step: a fresh inquiry for the devices in range
  // (blocks while it runs). Unavailable when there is no Bluetooth socket.
  virtual LookupStatus LookUpDevices(std::vector<BluetoothAddress>& inRange,
                                     std::stop_token cancel) = 0;

  // Second step, per device: its service records, in the stack's order.
  // False when the lookup cannot begin (device gone, no SDP connection).
  virtual bool LookUpServices(BluetoothAddress device, std::vector<ServiceRecord>& records,
                              std::stop_token cancel) = 0;

  // Custom events (kCustomEvent) of one radio go to `sink` until the handle
  // is destroyed. The radio handle may be closed right after. Null when the
  // registration failed.
  virtual std::unique_ptr<NotificationHandle> RegisterRadioEvents(const RadioHandle& radio,
                                                                  DeviceChangeSink& sink) = 0;

  // Device-tree changes (kDeviceNodesChanged: an adapter was inserted or
  // removed) go to `sink` until the handle is destroyed.
  virtual std::unique_ptr<NotificationHandle> WatchDeviceTree(DeviceChangeSink& sink) = 0;
};

}  // namespace wren::platform
