#include "adapters/bluez/BluezStack.h"

#include <QCoreApplication>

#include <functional>
#include <utility>

#include "base/System.h"
#include "adapters/bluez/DbusWorker.h"
#include "adapters/bluez/DeviceCache.h"
#include "adapters/bluez/DeviceRequests.h"
#include "adapters/bluez/Inquiries.h"
#include "adapters/bluez/ServiceLookup.h"
#include "adapters/bluez/StackEvents.h"
#include "adapters/bluez/WorkerLink.h"

namespace wren::bluez {
namespace {

using platform::BluetoothAddress;

class StackImpl;

class BluezRadio final : public platform::RadioHandle {
public:
  BluezRadio(const DeviceCache& cache, std::string path)
      : m_cache(cache), m_path(std::move(path)) {}
  bool GetInfo(platform::RadioInfo& info) const override {
    return m_cache.RadioInfoOf(m_path, info);
  }
  const std::string& Path() const { return m_path; }

private:
  const DeviceCache& m_cache;
  std::string m_path;
};

class BluezRadioFind final : public platform::RadioFind {
public:
  BluezRadioFind(const DeviceCache& cache, std::vector<std::string> paths)
      : m_cache(cache), m_paths(std::move(paths)) {}
  std::unique_ptr<platform::RadioHandle> Next() override {
    if (m_next >= m_paths.size()) return nullptr;
    return std::make_unique<BluezRadio>(m_cache, m_paths[m_next++]);
  }

private:
  const DeviceCache& m_cache;
  std::vector<std::string> m_paths;
  std::size_t m_next = 0;
};

// A registration of the user's pairing agent: ours is registered with
// BlueZ while one exists.
class AgentRegistration final : public platform::NotificationHandle {
public:
  AgentRegistration(std::unique_ptr<platform::NotificationHandle> inner,
                    std::function<void()> changed)
      : m_inner(std::move(inner)), m_changed(std::move(changed)) {}
  ~AgentRegistration() override {
    m_inner.reset();
    m_changed();
  }

private:
  std::unique_ptr<platform::NotificationHandle> m_inner;
  std::function<void()> m_changed;
};

// The ports put together from parts with one job each: the cache of
// BlueZ's objects and times, the registrations, the D-Bus thread,
// discovery, service lookup and device requests.
class StackImpl final : public BluezStack, public WorkerHost {
public:
  explicit StackImpl(const BluezOptions& options)
      : m_options(options),
        m_cache(options.timesFile.empty() ? platform::DataFilePath("device-times.txt")
                                          : options.timesFile),
        m_link(*this, options),
        m_inquiries(m_link),
        m_services(options.sdpLibrary, options.recordCacheRoot),
        m_requests(m_link, m_cache) {}

  ~StackImpl() override {
    m_inquiries.Close();
    m_link.Stop();
    m_cache.SaveTimes();
  }

  bool Start(std::string& error) {
    m_cache.LoadTimes();
    return m_link.Start(error);
  }

  // --- WorkerHost ---------------------------------------------------------

  bool Apply(const std::function<void(ObjectTree&, TreeChanges&)>& change) override {
    AppliedChange applied = m_cache.Apply(change, m_events.HasListeners());
    m_events.Deliver(applied);
    return applied.timesChanged;
  }

  void BusState(bool bluezAnswered, const std::string& uniqueName) override {
    m_cache.SetBusState(bluezAnswered, uniqueName);
    m_link.AttemptDone();
  }

  void PairingRequest(const std::string& devicePath) override {
    const std::string adapterPath = m_cache.AdapterForRequest(devicePath);
    platform::DeviceChange c;
    c.eventType = platform::kCustomEvent;
    c.hasRecord = true;
    c.eventGuid = platform::kPinRequestGuid;
    m_events.DeliverRadio(adapterPath, c, adapterPath.empty());
  }

  bool AgentWanted() const override { return m_options.pairingAgent || m_events.HasAgent(); }

  bool AskAgent(const std::function<void(platform::PairingAgent&)>& ask) override {
    return m_events.AskAgent(ask);
  }

  bool StartupOver() const override { return m_link.StartupOver(); }
  void SaveTimes() override { m_cache.SaveTimes(); }

  // --- BluetoothStack -------------------------------------------------------

  std::string Description() const override { return "BlueZ Bluetooth stack on the system bus"; }
  bool IsSimulation() const override { return false; }

  std::unique_ptr<platform::RadioFind> FindRadios() override {
    std::vector<std::string> paths = m_cache.Adapters(false);
    if (paths.empty()) return nullptr;
    return std::make_unique<BluezRadioFind>(m_cache, std::move(paths));
  }

  std::unique_ptr<platform::DeviceFind> FindDevices(const platform::DeviceSearch& search,
                                                    std::stop_token cancel) override {
    std::vector<std::string> adapters;
    if (search.radio != nullptr) {
      const auto* radio = dynamic_cast<const BluezRadio*>(search.radio);
      if (radio == nullptr) return nullptr;
      adapters.push_back(radio->Path());
    } else {
      adapters = m_cache.Adapters(false);
    }
    adapters = m_cache.Powered(adapters);
    if (adapters.empty()) return nullptr;
    if (search.issueInquiry != 0 && search.timeoutMultiplier > 0 &&
        !m_inquiries.Run(adapters, search.timeoutMultiplier, cancel))
      return nullptr;
    std::vector<platform::DeviceInfo> found = m_cache.Matching(adapters, search);
    if (found.empty()) return nullptr;
    return std::make_unique<platform::SnapshotDeviceFind>(std::move(found));
  }

  platform::LookupStatus LookUpDevices(std::vector<BluetoothAddress>& inRange,
                                       std::stop_token cancel) override {
    std::vector<std::string> adapters = m_cache.Adapters(false);
    if (adapters.empty()) return platform::LookupStatus::Unavailable;
    adapters = m_cache.Powered(adapters);
    if (!adapters.empty() && m_options.lookupMultiplier > 0 &&
        !m_inquiries.Run(adapters, m_options.lookupMultiplier, cancel))
      return platform::LookupStatus::NotStarted;
    m_cache.Reachable(adapters, inRange);
    return platform::LookupStatus::Ok;
  }

  bool LookUpServices(BluetoothAddress device, std::vector<platform::ServiceRecord>& records,
                      std::stop_token cancel) override {
    return m_services.LookUp(m_cache.RadiosFor(device), device, records, cancel);
  }

  std::unique_ptr<platform::NotificationHandle> RegisterRadioEvents(
      const platform::RadioHandle& radio, platform::DeviceChangeSink& sink) override {
    const auto* ours = dynamic_cast<const BluezRadio*>(&radio);
    if (ours == nullptr) return nullptr;
    return m_events.AddRadioSink(ours->Path(), sink);
  }

  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(
      platform::DeviceChangeSink& sink) override {
    return m_events.AddTreeSink(sink);
  }

  // --- DeviceManager --------------------------------------------------------

  std::vector<platform::DeviceProperties> Devices() const override { return m_cache.Devices(); }
  bool Properties(BluetoothAddress device, platform::DeviceProperties& out) const override {
    return m_cache.Properties(device, out);
  }
  std::unique_ptr<platform::NotificationHandle> WatchDevices(
      platform::DeviceListener& listener) override {
    return m_events.AddListener(listener);
  }
  std::unique_ptr<platform::DiscoverySession> StartDiscovery() override {
    std::vector<std::string> adapters = m_cache.Adapters(true);
    if (adapters.empty()) return nullptr;
    return m_inquiries.Session(std::move(adapters));
  }
  std::unique_ptr<platform::NotificationHandle> RegisterPairingAgent(
      platform::PairingAgent& agent) override {
    auto inner = m_events.AddAgent(agent);
    UpdateAgent();
    return std::make_unique<AgentRegistration>(std::move(inner), [this] { UpdateAgent(); });
  }
  void Pair(BluetoothAddress device, platform::DeviceDone done) override {
    m_requests.Pair(device, std::move(done));
  }
  void CancelPairing(BluetoothAddress device, platform::DeviceDone done) override {
    m_requests.CancelPairing(device, std::move(done));
  }
  void SetTrusted(BluetoothAddress device, bool trusted, platform::DeviceDone done) override {
    m_requests.SetTrusted(device, trusted, std::move(done));
  }
  void SetBlocked(BluetoothAddress device, bool blocked, platform::DeviceDone done) override {
    m_requests.SetBlocked(device, blocked, std::move(done));
  }
  void Connect(BluetoothAddress device, platform::DeviceDone done) override {
    m_requests.Connect(device, std::move(done));
  }
  void Disconnect(BluetoothAddress device, platform::DeviceDone done) override {
    m_requests.Disconnect(device, std::move(done));
  }
  void SetAlias(BluetoothAddress device, const std::string& alias,
                platform::DeviceDone done) override {
    m_requests.SetAlias(device, alias, std::move(done));
  }
  void Remove(BluetoothAddress device, platform::DeviceDone done) override {
    m_requests.Remove(device, std::move(done));
  }

  // --- BluezStack -----------------------------------------------------------

  bool ServiceAnswered() const override { return m_cache.Answered(); }
  std::string BusUniqueName() const override { return m_cache.UniqueName(); }
  std::vector<PropertyText> RawProperties(BluetoothAddress device) const override {
    return m_cache.RawProperties(device);
  }

private:
  void UpdateAgent() {
    m_link.Post([](DbusWorker& w) { w.UpdateAgent(); });
  }

  BluezOptions m_options;
  DeviceCache m_cache;
  StackEvents m_events;
  WorkerLink m_link;
  Inquiries m_inquiries;
  ServiceLookup m_services;
  DeviceRequests m_requests;
};

}  // namespace

std::unique_ptr<BluezStack> BluezStack::Create(const BluezOptions& options, std::string& error) {
  if (QCoreApplication::instance() == nullptr) {
    error = "the BlueZ stack needs a QCoreApplication";
    return nullptr;
  }
  auto stack = std::make_unique<StackImpl>(options);
  if (!stack->Start(error)) return nullptr;
  return stack;
}

}  // namespace wren::bluez
