#include "adapters/sim/SimulatedStack.h"

#include <ctime>
#include <thread>
#include <utility>
#include <variant>

#include "adapters/sim/SimDelivery.h"
#include "adapters/sim/SimDeviceManager.h"
#include "adapters/sim/SimScanner.h"
#include "adapters/sim/TimelinePlayer.h"

namespace wren::sim {
namespace {

template <typename... Calls>
struct Overloaded : Calls... {
  using Calls::operator()...;
};
// Spelled out for compilers without C++20's aggregate deduction.
template <typename... Calls>
Overloaded(Calls...) -> Overloaded<Calls...>;

}  // namespace

// The pieces of the stack, shared with the handles, sessions and answers
// they hand out, and the one place that routes deliveries: radio events and
// tree changes to the scanner's sinks, device changes to the device
// manager's listeners.
struct SimulatedStack::State final : TimelinePlayer::Outlet {
  State(Scenario scenario, TimeMode mode, std::string name)
      : description(std::move(name)),
        timeline(std::move(scenario), mode, *this),
        scanner(timeline),
        devices(timeline, scanner, *this) {}

  void RadioRemoved(std::size_t radio) override { scanner.ForgetRegistrations(radio); }

  void Deliver(const Deliveries& deliveries) override {
    for (const Delivery& delivery : deliveries)
      std::visit(Overloaded{
                     [this](const RadioChange& d) { scanner.Deliver(d); },
                     [this](const TreeChange& d) { scanner.Deliver(d); },
                     [this](const DeviceChanged& d) { devices.Deliver(d); },
                     [this](const DeviceRemoved& d) { devices.Deliver(d); },
                 },
                 delivery);
  }

  const std::string description;
  TimelinePlayer timeline;
  SimScanner scanner;
  SimDeviceManager devices;
};

SimulatedStack::SimulatedStack(Scenario scenario, TimeMode mode, std::string description)
    : m_state(std::make_shared<State>(std::move(scenario), mode, std::move(description))) {
  m_state->scanner.SetOwner(m_state);
  m_state->devices.SetOwner(m_state);
  m_state->timeline.Start();
}

// The state may outlive the stack (a radio handle, a discovery session);
// the timeline is not played after this.
SimulatedStack::~SimulatedStack() { m_state->timeline.Stop(); }

std::string SimulatedStack::Description() const {
  return "Simulated Bluetooth stack: " + m_state->description;
}

// --- the Bluetooth stack ---

std::unique_ptr<platform::RadioFind> SimulatedStack::FindRadios() {
  return m_state->scanner.FindRadios();
}

std::unique_ptr<platform::DeviceFind> SimulatedStack::FindDevices(
    const platform::DeviceSearch& search, std::stop_token cancel) {
  return m_state->scanner.FindDevices(search, std::move(cancel));
}

platform::LookupStatus SimulatedStack::LookUpDevices(std::vector<BluetoothAddress>& inRange,
                                                     std::stop_token cancel) {
  return m_state->scanner.LookUpDevices(inRange, std::move(cancel));
}

bool SimulatedStack::LookUpServices(BluetoothAddress device,
                                    std::vector<platform::ServiceRecord>& records,
                                    std::stop_token cancel) {
  return m_state->scanner.LookUpServices(device, records, std::move(cancel));
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::RegisterRadioEvents(
    const platform::RadioHandle& radio, platform::DeviceChangeSink& sink) {
  return m_state->scanner.RegisterRadioEvents(radio, sink);
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::WatchDeviceTree(
    platform::DeviceChangeSink& sink) {
  return m_state->scanner.WatchDeviceTree(sink);
}

// --- simulated time ---

void SimulatedStack::AdvanceTime(std::int64_t ms) { m_state->timeline.Advance(ms); }

std::int64_t SimulatedStack::NowMs() const { return m_state->timeline.NowMs(); }

platform::UtcTime SimulatedStack::UtcNow() const {
  std::lock_guard lock(m_state->timeline.mutex);
  return m_state->timeline.UtcNow();
}

std::time_t SimulatedStack::EpochSecondsNow() const {
  return static_cast<std::time_t>(ToEpochSeconds(UtcNow()));
}

std::size_t SimulatedStack::InquiriesWaiting() const { return m_state->timeline.Waiting(); }

bool SimulatedStack::WaitForInquiries(std::size_t count, std::chrono::milliseconds timeout) const {
  auto until = std::chrono::steady_clock::now() + timeout;
  while (InquiriesWaiting() < count) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// --- what the program asked ---

std::vector<SimulatedStack::SearchCall> SimulatedStack::Searches() const {
  return m_state->scanner.Searches();
}

std::uint64_t SimulatedStack::SearchCount() const { return m_state->scanner.SearchCount(); }

std::vector<BluetoothAddress> SimulatedStack::ServiceLookups() const {
  return m_state->scanner.ServiceLookups();
}

// --- the device manager ---

std::vector<platform::DeviceProperties> SimulatedStack::Devices() const {
  return m_state->devices.Devices();
}

bool SimulatedStack::Properties(BluetoothAddress device, platform::DeviceProperties& out) const {
  return m_state->devices.Properties(device, out);
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::WatchDevices(
    platform::DeviceListener& listener) {
  return m_state->devices.WatchDevices(listener);
}

std::unique_ptr<platform::DiscoverySession> SimulatedStack::StartDiscovery() {
  return m_state->devices.StartDiscovery();
}

std::unique_ptr<platform::NotificationHandle> SimulatedStack::RegisterPairingAgent(
    platform::PairingAgent& agent) {
  return m_state->devices.RegisterPairingAgent(agent);
}

void SimulatedStack::Pair(BluetoothAddress device, platform::DeviceDone done) {
  m_state->devices.Pair(device, std::move(done));
}

void SimulatedStack::CancelPairing(BluetoothAddress device, platform::DeviceDone done) {
  m_state->devices.CancelPairing(device, std::move(done));
}

void SimulatedStack::SetTrusted(BluetoothAddress device, bool trusted, platform::DeviceDone done) {
  m_state->devices.SetTrusted(device, trusted, std::move(done));
}

void SimulatedStack::SetBlocked(BluetoothAddress device, bool blocked, platform::DeviceDone done) {
  m_state->devices.SetBlocked(device, blocked, std::move(done));
}

void SimulatedStack::Connect(BluetoothAddress device, platform::DeviceDone done) {
  m_state->devices.Connect(device, std::move(done));
}

void SimulatedStack::Disconnect(BluetoothAddress device, platform::DeviceDone done) {
  m_state->devices.Disconnect(device, std::move(done));
}

void SimulatedStack::SetAlias(BluetoothAddress device, const std::string& alias,
                              platform::DeviceDone done) {
  m_state->devices.SetAlias(device, alias, std::move(done));
}

void SimulatedStack::Remove(BluetoothAddress device, platform::DeviceDone done) {
  m_state->devices.Remove(device, std::move(done));
}

}  // namespace wren::sim
