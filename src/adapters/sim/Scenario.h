#pragma once
// What the simulated stack plays: radios, devices with their service
// records, and a timeline of device events. Read from an XML scenario file
// (format in res/scenario-format.md) or built in code.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"

namespace wren::sim {

using platform::BluetoothAddress;
using platform::UtcTime;

struct SimRadio {
  std::string id;  // how devices and events name it
  BluetoothAddress address = 0;
  std::string name;
  std::uint32_t classOfDevice = 0;
  bool present = true;   // plugged in; events insert and remove it
  bool readable = true;  // its information can be read
};

// How a device pairs: the question the pairing agent is asked, and how
// the pairing ends once it is answered.
enum class PairingMethod {
  JustWorks,       // no question
  ConfirmPasskey,  // both sides show `passkey`; the user confirms
  DisplayPasskey,  // the user types the shown `passkey` on the device
  DisplayPinCode,  // the user types the shown `pin` on the device
  RequestPinCode,  // the user types the device's `pin`
  RequestPasskey,  // the user types the device's `passkey`
};

struct SimPairing {
  PairingMethod method = PairingMethod::JustWorks;
  std::uint32_t passkey = 0;
  std::string pin = "0000";
  // The error the pairing ends with once the question is answered; None:
  // success.
  platform::DeviceError failure = platform::DeviceError::None;
};

struct SimDevice {
  BluetoothAddress address = 0;
  std::string name;
  std::string alias;  // the user's name for it; empty: none
  std::uint32_t classOfDevice = 0;
  bool connected = false;
  bool remembered = false;
  bool authenticated = false;
  bool trusted = false;
  bool blocked = false;
  std::optional<std::int16_t> rssi;  // while in range; none: not reported
  std::optional<std::int16_t> txPower;
  std::vector<std::string> uuids;
  platform::LeFields le;  // a Bluetooth LE device's address type and advertising data
  SimPairing pairing;
  UtcTime lastSeen;  // zero: never
  UtcTime lastUsed;
  // Indexes into Scenario::radios of the radios that report it; empty for
  // every radio.
  std::vector<std::size_t> radios;
  bool discoverable = true;  // an inquiry finds it while in range
  bool inRange = true;
  std::vector<platform::ServiceRecord> records;
};

enum class EventKind {
  AdapterInserted,
  AdapterRemoved,
  InRange,
  OutOfRange,
  HciConnect,
  HciDisconnect,
  L2capConnect,
  L2capDisconnect,
  PinRequest,
  Custom,  // any other custom event: a foreign identifier, or no record
};

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

struct SimEvent {
  std::int64_t atMs = 0;  // from the start of the timeline (of each cycle)
  EventKind kind = EventKind::PinRequest;
  std::size_t radio = kNone;   // the radio it happens on; kNone: the device's first radio
  std::size_t device = kNone;  // index into Scenario::devices
  std::uint32_t flags = 0;     // in range: flags now
  std::optional<std::uint32_t>
      previousFlags;                // in range: flags before (default: from the device's state)
  std::optional<std::string> name;  // in range: a new name
  bool initiated = false;           // L2CAP connect: the local host opened it
  bool hasRecord = true;            // custom: false for an event without record
  platform::EventGuid guid{};       // custom: its identifier
};

struct Scenario {
  std::string name;
  // Simulated UTC time at timeline time 0, seconds since the epoch; none:
  // the wall-clock time when the stack starts.
  std::optional<std::int64_t> startUtc;
  // Length of the inquiry of a service query, in units of 1.28 s.
  std::uint8_t lookupMultiplier = 1;
  std::vector<SimRadio> radios;
  std::vector<SimDevice> devices;
  std::vector<SimEvent> timeline;  // sorted by atMs, file order kept for equal times
  std::int64_t repeatMs = 0;       // the timeline starts again every repeatMs; 0: plays once
};

// Parses a scenario text. On failure `error` says where and what, starting
// with `sourceName` ("demo.xml:12: <device>: ...").
bool ParseScenario(std::string_view text, std::string_view sourceName, Scenario& out,
                   std::string& error);
bool LoadScenarioFile(const std::string& path, Scenario& out, std::string& error);

// The demo scenario embedded in the program.
std::string_view DemoScenarioText();
bool LoadDemoScenario(Scenario& out, std::string& error);

// Helpers shared with the file format.
bool ParseAddress(std::string_view text,
                  BluetoothAddress& out);  // "00:1A:2B:3C:4D:5E", either case
bool ParseGuid(
    std::string_view text,
    platform::EventGuid& out);  // "{FC240062-1541-49BE-B463-84C4DCD7BF7F}", braces optional
bool ParseUtcTime(std::string_view text, UtcTime& out);  // "2009-07-21 14:03:59", "never"
std::int64_t ToEpochSeconds(const UtcTime& t);
UtcTime FromEpochSeconds(std::int64_t seconds);

}  // namespace wren::sim
