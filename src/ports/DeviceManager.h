#pragma once
// The port through which the windows manage remote devices: a device's
// full properties, discovery sessions, pairing with a pairing agent, trust,
// block, connect, disconnect, alias and removal. Both stacks implement it
// for real; the property sheet and the add-device dialog are our own
// windows over it. No Qt here.
//
// Threads. Calls may come from any thread and never block on the radio.
// Results, listener calls and agent requests arrive on a thread of the
// stack (or inside the call that caused them); post them to your own
// thread. Every operation calls its `done` exactly once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ports/BluetoothStack.h"

namespace wren::platform {

// The parent window of a dialog, as the GUI names it; 0 for none.
using WindowHandle = std::uintptr_t;

// Everything the stack knows of one remote device.
struct DeviceProperties {
  BluetoothAddress address = 0;
  std::string name;   // as the device calls itself; empty when unknown
  std::string alias;  // the user's name for it; the name when none was set
  std::uint32_t classOfDevice = 0;
  bool paired = false;
  bool trusted = false;
  bool blocked = false;
  bool connected = false;
  std::optional<std::int16_t> rssi;     // dBm, while in range
  std::optional<std::int16_t> txPower;  // dBm, when advertised
  UtcTime lastSeen;
  UtcTime lastUsed;
  std::vector<std::string> uuids;  // service UUIDs, lower-case 128-bit text
  LeFields le;                     // Bluetooth LE devices only
};

// What went wrong with a device operation, whatever the stack.
enum class DeviceError {
  None,
  Failed,
  InProgress,
  AlreadyExists,  // already paired
  NotReady,       // adapter off or busy
  InvalidArguments,
  NotSupported,
  NotAuthorized,  // permission (the stack's or the system's)
  NotAvailable,
  DoesNotExist,  // object gone, device unknown
  NotConnected,
  AlreadyConnected,
  AuthenticationFailed,
  AuthenticationCanceled,
  AuthenticationRejected,
  AuthenticationTimeout,
  ConnectionAttemptFailed,
  Rejected,
  Canceled,
  NoReply,            // no answer in time
  ServiceNotRunning,  // the stack's service is not running
  NoBus,              // the way to the stack is gone
  BadReply,           // an answer of the wrong shape
  Other,              // one the stack named but we do not know
};

// The outcome of an operation. On failure `error` says what went wrong;
// `text` is the stack's own words when it gave any, and `name` its own name
// for an error we do not know (Other), so that it can be shown.
struct DeviceResult {
  bool ok = true;
  DeviceError error = DeviceError::None;
  std::string text;
  std::string name;
};

DeviceResult DeviceFailure(DeviceError error, std::string name = {});

// A sentence for the user, naming what went wrong in their terms; empty
// for None.
std::string_view DeviceErrorWords(DeviceError error);
// What the user reads for a failed result: the stack's words when it gave
// any, else the error's words, for an unknown error followed by its name;
// never empty for a failure.
std::string DeviceErrorText(const DeviceResult& result);
using DeviceDone = std::function<void(const DeviceResult&)>;

// Hears devices come, change and go.
class DeviceListener {
public:
  virtual ~DeviceListener() = default;
  // A device appeared or one of its properties changed; `sighted`: a
  // discovery (or an event) saw it just now.
  virtual void OnDeviceChanged(const DeviceProperties& device, bool sighted) = 0;
  virtual void OnDeviceRemoved(BluetoothAddress address) = 0;
};

// Answers the questions of a pairing. Each request with a reply must be
// answered exactly once, now or later, from any thread; an answer after
// the pairing ended is ignored.
class PairingAgent {
public:
  virtual ~PairingAgent() = default;
  // Both sides show `passkey`; true when the user sees the same.
  virtual void ConfirmPasskey(BluetoothAddress device, std::uint32_t passkey,
                              std::function<void(bool)> reply) = 0;
  // Show `passkey` for the user to type on the device; `entered` keys so far.
  virtual void DisplayPasskey(BluetoothAddress device, std::uint32_t passkey,
                              std::uint16_t entered) = 0;
  // Show `pin` for the user to type on the device.
  virtual void DisplayPinCode(BluetoothAddress device, const std::string& pin) = 0;
  // The user types the PIN the device shows or was given; none: refused.
  virtual void RequestPinCode(BluetoothAddress device,
                              std::function<void(std::optional<std::string>)> reply) = 0;
  // The same for a six-digit passkey.
  virtual void RequestPasskey(BluetoothAddress device,
                              std::function<void(std::optional<std::uint32_t>)> reply) = 0;
  // The stack gave up the question asked last (timeout, cancelled).
  virtual void Cancel() = 0;
};

// While it exists, the stack discovers and reports what it finds to its
// device listeners. Destroying it stops the discovery.
class DiscoverySession {
public:
  virtual ~DiscoverySession() = default;
};

class DeviceManager {
public:
  virtual ~DeviceManager() = default;

  // The devices the stack knows now, in its order.
  virtual std::vector<DeviceProperties> Devices() const = 0;
  // False when the device is not known.
  virtual bool Properties(BluetoothAddress device, DeviceProperties& out) const = 0;

  virtual std::unique_ptr<NotificationHandle> WatchDevices(DeviceListener& listener) = 0;
  // Null when there is no radio to discover with.
  virtual std::unique_ptr<DiscoverySession> StartDiscovery() = 0;

  // Pairing questions go to `agent` until the handle is destroyed. The
  // latest registration answers; without one, a pairing that needs a
  // question fails.
  virtual std::unique_ptr<NotificationHandle> RegisterPairingAgent(PairingAgent& agent) = 0;

  virtual void Pair(BluetoothAddress device, DeviceDone done) = 0;
  virtual void CancelPairing(BluetoothAddress device, DeviceDone done) = 0;
  virtual void SetTrusted(BluetoothAddress device, bool trusted, DeviceDone done) = 0;
  virtual void SetBlocked(BluetoothAddress device, bool blocked, DeviceDone done) = 0;
  virtual void Connect(BluetoothAddress device, DeviceDone done) = 0;
  virtual void Disconnect(BluetoothAddress device, DeviceDone done) = 0;
  // An empty alias gives the device its own name back.
  virtual void SetAlias(BluetoothAddress device, const std::string& alias, DeviceDone done) = 0;
  // Forgets the device: its pairing and trust go with it.
  virtual void Remove(BluetoothAddress device, DeviceDone done) = 0;
};

// A stack as the session holds it: the one object behind both ports, so
// that nothing has to guess a stack's type to manage its devices.
struct StackPorts {
  std::unique_ptr<BluetoothStack> stack;
  DeviceManager* devices = nullptr;  // the same object as `stack`; null without one
};

// The two ports of a stack type that implements both.
template <typename Stack>
StackPorts PortsOf(std::unique_ptr<Stack> stack) {
  StackPorts ports;
  ports.devices = stack.get();
  ports.stack = std::move(stack);
  return ports;
}

// What the program's device-selection dialog is asked to show.
struct DeviceSelection {
  WindowHandle parent = 0;
  bool forceAuthentication = false;
  bool showAuthenticated = false;
  bool showRemembered = false;
  bool showUnknown = false;
  bool addNewDeviceWizard = false;
  bool skipServicesPage = false;
  std::string info;  // text shown above the list; empty for the default
};

// The device windows, as the core asks for them. The GUI implements them
// over a DeviceManager; without a window nothing is shown.
class DeviceDialogs {
public:
  virtual ~DeviceDialogs() = default;
  // Shows the property sheet of one device.
  virtual void DisplayDeviceProperties(WindowHandle parent, const DeviceInfo& device) = 0;
  // Runs the selection dialog (and its add-device wizard when asked); true
  // when devices were chosen, which are then in `chosen`.
  virtual bool SelectDevices(const DeviceSelection& selection, std::vector<DeviceInfo>& chosen) = 0;
};

}  // namespace wren::platform
