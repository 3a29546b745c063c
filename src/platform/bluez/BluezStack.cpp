#include "platform/bluez/BluezStack.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/System.h"
#include "platform/bluez/DbusWorker.h"
#include "platform/bluez/DeviceTimes.h"
#include "platform/bluez/ObjectTree.h"
#include "platform/bluez/SdpClient.h"
#include "platform/bluez/ServiceCache.h"

namespace wren::bluez {
namespace {

using platform::BluetoothAddress;

class StackImpl;

// The thread the D-Bus side lives on. Its worker is made and destroyed on
// the thread itself.
class DbusThread : public QThread {
public:
  DbusThread(StackImpl& stack, WorkerHost& host, const BluezOptions& options)
      : m_stack(stack), m_host(host), m_options(options) {}

protected:
  void run() override;

private:
  StackImpl& m_stack;
  WorkerHost& m_host;
  BluezOptions m_options;
};

class BluezRadio final : public platform::RadioHandle {
public:
  BluezRadio(const StackImpl& stack, std::string path) : m_stack(stack), m_path(std::move(path)) {}
  bool GetInfo(platform::RadioInfo& info) const override;
  const std::string& Path() const { return m_path; }

private:
  const StackImpl& m_stack;
  std::string m_path;
};

class BluezRadioFind final : public platform::RadioFind {
public:
  BluezRadioFind(const StackImpl& stack, std::vector<std::string> paths) : m_stack(stack), m_paths(std::move(paths)) {}
  std::unique_ptr<platform::RadioHandle> Next() override {
    if (m_next >= m_paths.size()) return nullptr;
    return std::make_unique<BluezRadio>(m_stack, m_paths[m_next++]);
  }

private:
  const StackImpl& m_stack;
  std::vector<std::string> m_paths;
  std::size_t m_next = 0;
};

class Registration final : public platform::NotificationHandle {
public:
  Registration(StackImpl& stack, std::uint64_t id) : m_stack(stack), m_id(id) {}
  ~Registration() override;

private:
  StackImpl& m_stack;
  std::uint64_t m_id;
};

class Discovery final : public DiscoverySession {
public:
  Discovery(StackImpl& stack, std::vector<std::string> adapters);
  ~Discovery() override;

private:
  StackImpl& m_stack;
  std::vector<std::string> m_adapters;
};

class StackImpl final : public BluezStack, public WorkerHost {
public:
  explicit StackImpl(const BluezOptions& options) : m_options(options), m_sdp(options.sdpLibrary) {
    m_timesPath = options.timesFile.empty() ? platform::DataFilePath("device-times.txt") : options.timesFile;
  }

  ~StackImpl() override {
    {
      std::lock_guard lock(m_waitMutex);
      m_closing = true;
    }
    m_waitCv.notify_all();
    if (m_thread) {
      // Queued, so it is seen even before the thread's loop runs.
      Post([](DbusWorker&) { QThread::currentThread()->quit(); });
      m_thread->wait();
    }
    SaveTimes();
  }

  bool Start(std::string& error) {
    std::string timesError;
    {
      std::lock_guard lock(m_mutex);
      // A times file we cannot read is left alone: the times of this run
      // are then kept in memory only.
      m_timesWritable = m_times.Load(m_timesPath, timesError);
    }
    m_thread = std::make_unique<DbusThread>(*this, *this, m_options);
    m_thread->setObjectName(QStringLiteral("BlueZ D-Bus"));
    m_thread->start();
    std::unique_lock lock(m_stateMutex);
    if (!m_stateCv.wait_for(lock, std::chrono::seconds(10), [this] { return m_workerUp; })) {
      error = "the D-Bus thread did not start";
      return false;
    }
    m_stateCv.wait_for(lock, std::chrono::milliseconds(std::max(0, m_options.startupWaitMs)),
                       [this] { return m_firstAttemptDone; });
    m_startupOver = true;
    return true;
  }

  // --- The D-Bus thread -------------------------------------------------

  void WorkerRunning(DbusWorker* worker) {
    {
      std::lock_guard lock(m_workerMutex);
      m_worker = worker;
      m_dbusThread = std::this_thread::get_id();
    }
    std::lock_guard lock(m_stateMutex);
    if (worker != nullptr) m_workerUp = true;
    m_stateCv.notify_all();
  }

  // Runs `fn` on the D-Bus thread; dropped when the thread has ended.
  void Post(std::function<void(DbusWorker&)> fn) {
    std::lock_guard lock(m_workerMutex);
    if (m_worker == nullptr) return;
    DbusWorker* worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, fn = std::move(fn)] { fn(*worker); }, Qt::QueuedConnection);
  }

  bool OnDbusThread() const {
    std::lock_guard lock(m_workerMutex);
    return std::this_thread::get_id() == m_dbusThread;
  }

  // --- WorkerHost ---------------------------------------------------------

  bool Apply(const std::function<void(ObjectTree&, TreeChanges&)>& change) override {
    TreeChanges changes;
    std::vector<std::pair<platform::DeviceInfo, bool>> updated;
    bool timesChanged = false;
    {
      std::lock_guard lock(m_mutex);
      change(m_tree, changes);
      const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
      const bool wasDirty = m_times.Dirty();
      for (BluetoothAddress a : changes.seen) m_times.Seen(a, now);
      for (BluetoothAddress a : changes.used) m_times.Used(a, now);
      timesChanged = m_times.Dirty() && !wasDirty;
      if (m_deviceListeners.load() > 0) {
        std::vector<BluetoothAddress> addresses = changes.changed;
        addresses.insert(addresses.end(), changes.seen.begin(), changes.seen.end());
        std::sort(addresses.begin(), addresses.end());
        addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
        for (BluetoothAddress a : addresses) {
          auto devices = m_tree.FindDevices(a);
          if (devices.empty()) continue;
          const bool sighted = std::find(changes.seen.begin(), changes.seen.end(), a) != changes.seen.end();
          updated.emplace_back(InfoOf(*devices.front()), sighted);
        }
      }
    }
    Deliver(changes, updated);
    return timesChanged;
  }

  void BusState(bool bluezAnswered, const std::string& uniqueName) override {
    {
      std::lock_guard lock(m_mutex);
      m_answered = bluezAnswered;
      m_uniqueName = uniqueName;
    }
    std::lock_guard lock(m_stateMutex);
    m_firstAttemptDone = true;
    m_stateCv.notify_all();
  }

  void PairingRequest(const std::string& devicePath) override {
    std::string adapterPath;
    {
      std::lock_guard lock(m_mutex);
      if (const Device* d = m_tree.FindDevice(devicePath)) {
        adapterPath = d->adapterPath;
      } else {
        const auto slash = devicePath.rfind('/');
        if (slash != std::string::npos) adapterPath = devicePath.substr(0, slash);
        // A device BlueZ has not announced yet: every radio hears it.
        if (m_tree.FindAdapter(adapterPath) == nullptr) adapterPath.clear();
      }
    }
    platform::DeviceChange c;
    c.eventType = platform::kCustomEvent;
    c.hasRecord = true;
    c.eventGuid = platform::kPinRequestGuid;
    DeliverRadio(adapterPath, c, adapterPath.empty());
  }

  bool StartupOver() const override { return m_startupOver.load(); }

  void SaveTimes() override {
    std::string text;
    {
      std::lock_guard lock(m_mutex);
      if (!m_timesWritable || !m_times.Dirty()) return;
      text = m_times.Serialize();
      m_times.MarkSaved();
    }
    std::string error;
    if (!platform::WriteFileAtomically(m_timesPath, text, error)) {
      std::lock_guard lock(m_mutex);
      m_times.MarkDirty();
    }
  }

  // --- BluetoothStack -------------------------------------------------------

  std::string Description() const override { return "BlueZ Bluetooth stack on the system bus"; }
  bool IsSimulation() const override { return false; }

  std::unique_ptr<platform::RadioFind> FindRadios() override {
    std::vector<std::string> paths;
    {
      std::lock_guard lock(m_mutex);
      for (const Adapter* a : m_tree.Adapters()) paths.push_back(a->path);
    }
    if (paths.empty()) return nullptr;
    return std::make_unique<BluezRadioFind>(*this, std::move(paths));
  }

  bool RadioInfoOf(const std::string& path, platform::RadioInfo& info) const {
    std::lock_guard lock(m_mutex);
    const Adapter* a = m_tree.FindAdapter(path);
    if (a == nullptr || !a->hasAddress) return false;
    info.address = a->address;
    info.name = a->name;
    info.classOfDevice = a->classOfDevice;
    return true;
  }

  std::unique_ptr<platform::DeviceFind> FindDevices(const platform::DeviceSearch& search,
                                                    std::stop_token cancel) override {
    std::vector<std::string> adapters;
    if (search.radio != nullptr) {
      const auto* radio = dynamic_cast<const BluezRadio*>(search.radio);
      if (radio == nullptr) return nullptr;
      adapters.push_back(radio->Path());
    } else {
      std::lock_guard lock(m_mutex);
      for (const Adapter* a : m_tree.Adapters()) adapters.push_back(a->path);
    }
    adapters = Powered(adapters);
    if (adapters.empty()) return nullptr;
    if (search.issueInquiry != 0 && search.timeoutMultiplier > 0 &&
        !RunInquiry(adapters, search.timeoutMultiplier, cancel))
      return nullptr;

    std::vector<platform::DeviceInfo> found;
    {
      std::lock_guard lock(m_mutex);
      for (const std::string& path : adapters) {
        const Adapter* a = m_tree.FindAdapter(path);
        if (a == nullptr || !a->powered) continue;
        for (const Device* d : m_tree.DevicesOf(path))
          if (MatchesSearch(*d, search)) found.push_back(InfoOf(*d));
      }
    }
    if (found.empty()) return nullptr;
    return std::make_unique<platform::SnapshotDeviceFind>(std::move(found));
  }

  void DisplayDeviceProperties(platform::WindowHandle, const platform::DeviceInfo&) override {}

  bool SelectDevices(const platform::DeviceSelection&, std::vector<platform::DeviceInfo>&) override {
    return false;
  }

  platform::LookupStatus LookUpDevices(std::vector<BluetoothAddress>& inRange, std::stop_token cancel) override {
    std::vector<std::string> adapters;
    {
      std::lock_guard lock(m_mutex);
      for (const Adapter* a : m_tree.Adapters()) adapters.push_back(a->path);
    }
    if (adapters.empty()) return platform::LookupStatus::Unavailable;
    adapters = Powered(adapters);
    if (!adapters.empty() && m_options.lookupMultiplier > 0 &&
        !RunInquiry(adapters, m_options.lookupMultiplier, cancel))
      return platform::LookupStatus::NotStarted;
    std::lock_guard lock(m_mutex);
    for (const std::string& path : adapters) {
      for (const Device* d : m_tree.DevicesOf(path)) {
        // In range, or one the radio can page because it knows it.
        if (!(d->hasRssi || d->connected || d->Remembered())) continue;
        if (std::find(inRange.begin(), inRange.end(), d->address) == inRange.end()) inRange.push_back(d->address);
      }
    }
    return platform::LookupStatus::Ok;
  }

  bool LookUpServices(BluetoothAddress device, std::vector<platform::ServiceRecord>& records,
                      std::stop_token cancel) override {
    std::vector<BluetoothAddress> radios;  // the device's own radios first
    {
      std::lock_guard lock(m_mutex);
      for (const Device* d : m_tree.FindDevices(device)) {
        const Adapter* a = m_tree.FindAdapter(d->adapterPath);
        if (a != nullptr && a->hasAddress) radios.push_back(a->address);
      }
      for (const Adapter* a : m_tree.Adapters())
        if (a->hasAddress && std::find(radios.begin(), radios.end(), a->address) == radios.end())
          radios.push_back(a->address);
    }
    std::vector<platform::ServiceRecord> found;
    const SdpClient::Result result = m_sdp.Query(radios.empty() ? 0 : radios.front(), device, found, cancel);
    if (result == SdpClient::Result::Cancelled) return false;
    if (result == SdpClient::Result::Ok) {
      for (auto& r : found) records.push_back(std::move(r));
      return true;
    }
    // Not reachable now: what BlueZ kept from an earlier exchange.
    for (BluetoothAddress radio : radios) {
      if (ReadCachedRecords(m_options.recordCacheRoot, radio, device, found)) {
        for (auto& r : found) records.push_back(std::move(r));
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<platform::NotificationHandle> RegisterRadioEvents(const platform::RadioHandle& radio,
                                                                    platform::DeviceChangeSink& sink) override {
    const auto* ours = dynamic_cast<const BluezRadio*>(&radio);
    if (ours == nullptr) return nullptr;
    Entry e;
    e.kind = Entry::Kind::Radio;
    e.adapterPath = ours->Path();
    e.sink = &sink;
    return Register(std::move(e));
  }

  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(platform::DeviceChangeSink& sink) override {
    Entry e;
    e.kind = Entry::Kind::Tree;
    e.sink = &sink;
    return Register(std::move(e));
  }

  // --- BluezStack -----------------------------------------------------------

  bool ServiceAnswered() const override {
    std::lock_guard lock(m_mutex);
    return m_answered;
  }

  std::string BusUniqueName() const override {
    std::lock_guard lock(m_mutex);
    return m_uniqueName;
  }

  std::vector<PropertyText> DeviceProperties(BluetoothAddress device) const override {
    std::vector<PropertyText> out;
    std::lock_guard lock(m_mutex);
    auto devices = m_tree.FindDevices(device);
    if (devices.empty()) return out;
    for (const auto& [name, value] : devices.front()->properties) out.push_back({name, ValueText(value)});
    return out;
  }

  std::unique_ptr<platform::NotificationHandle> WatchDevices(DeviceListener& listener) override {
    Entry e;
    e.kind = Entry::Kind::Devices;
    e.listener = &listener;
    ++m_deviceListeners;
    return Register(std::move(e));
  }

  std::unique_ptr<DiscoverySession> StartDiscovery() override {
    std::vector<std::string> adapters;
    {
      std::lock_guard lock(m_mutex);
      for (const Adapter* a : m_tree.Adapters())
        if (a->powered) adapters.push_back(a->path);
    }
    return std::make_unique<Discovery>(*this, std::move(adapters));
  }

  void Pair(BluetoothAddress device, std::function<void(const PairResult&)> done) override {
    std::string path;
    {
      std::lock_guard lock(m_mutex);
      for (const Device* d : m_tree.FindDevices(device)) {
        const Adapter* a = m_tree.FindAdapter(d->adapterPath);
        if (path.empty() || (a != nullptr && a->powered)) path = d->path;
      }
    }
    if (path.empty()) {
      PairResult r;
      r.error = BluezError::DoesNotExist;
      r.words = std::string(ErrorWords(r.error));
      done(r);
      return;
    }
    auto shared = std::make_shared<std::function<void(const PairResult&)>>(std::move(done));
    auto answered = std::make_shared<std::atomic<bool>>(false);
    Post([path, shared, answered](DbusWorker& w) {
      w.Pair(path, [shared, answered](const PairResult& r) {
        if (!answered->exchange(true)) (*shared)(r);
      });
    });
    // The thread has ended: no answer will come from it.
    std::lock_guard lock(m_workerMutex);
    if (m_worker == nullptr && !answered->exchange(true)) {
      PairResult r;
      r.error = BluezError::Disconnected;
      r.words = std::string(ErrorWords(r.error));
      (*shared)(r);
    }
  }

  // --- Registrations ----------------------------------------------------------

  void Unregister(std::uint64_t id) {
    if (OnDbusThread()) {
      // Inside a delivery (perhaps this very one): the loop checks again
      // before every call, so removing is enough.
      Remove(id);
      return;
    }
    // Wait for a delivery in progress, so the sink is never called after.
    std::lock_guard delivery(m_deliveryMutex);
    Remove(id);
  }

  void BeginDiscovery(const std::vector<std::string>& adapters) {
    for (const auto& a : adapters) Post([a](DbusWorker& w) { w.BeginInquiry(a); });
  }
  void EndDiscovery(const std::vector<std::string>& adapters) {
    for (const auto& a : adapters) Post([a](DbusWorker& w) { w.EndInquiry(a); });
  }

private:
  struct Entry {
    enum class Kind { Radio, Tree, Devices };
    std::uint64_t id = 0;
    Kind kind = Kind::Radio;
    std::string adapterPath;
    platform::DeviceChangeSink* sink = nullptr;
    DeviceListener* listener = nullptr;
  };

  std::unique_ptr<platform::NotificationHandle> Register(Entry e) {
    std::lock_guard lock(m_registryMutex);
    e.id = ++m_nextId;
    const std::uint64_t id = e.id;
    m_entries.push_back(std::move(e));
    return std::make_unique<Registration>(*this, id);
  }

  void Remove(std::uint64_t id) {
    std::lock_guard lock(m_registryMutex);
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; });
    if (it == m_entries.end()) return;
    if (it->kind == Entry::Kind::Devices) --m_deviceListeners;
    m_entries.erase(it);
  }

  // The entries `match` accepts, as they are now.
  template <typename Match>
  std::vector<Entry> Select(Match match) {
    std::vector<Entry> out;
    std::lock_guard lock(m_registryMutex);
    for (const Entry& e : m_entries)
      if (match(e)) out.push_back(e);
    return out;
  }

  // Calls `call` for an entry that is still registered, one delivery at a
  // time, so an unregistering thread can wait for it.
  template <typename Call>
  void DeliverTo(const Entry& e, Call call) {
    std::lock_guard delivery(m_deliveryMutex);
    {
      std::lock_guard lock(m_registryMutex);
      if (std::none_of(m_entries.begin(), m_entries.end(), [&](const Entry& x) { return x.id == e.id; })) return;
    }
    call(e);
  }

  void DeliverRadio(const std::string& adapterPath, const platform::DeviceChange& change, bool everyRadio) {
    for (const Entry& e : Select([&](const Entry& x) {
           return x.kind == Entry::Kind::Radio && (everyRadio || x.adapterPath == adapterPath);
         }))
      DeliverTo(e, [&](const Entry& x) { x.sink->OnDeviceChange(change); });
  }

  void Deliver(const TreeChanges& changes, const std::vector<std::pair<platform::DeviceInfo, bool>>& updated) {
    if (changes.deviceTreeChanged) {
      platform::DeviceChange tree;
      tree.eventType = platform::kDeviceNodesChanged;
      for (const Entry& e : Select([](const Entry& x) { return x.kind == Entry::Kind::Tree; }))
        DeliverTo(e, [&](const Entry& x) { x.sink->OnDeviceChange(tree); });
    }
    for (const auto& event : changes.radioEvents) DeliverRadio(event.adapterPath, event.change, false);
    if (updated.empty() && changes.removed.empty()) return;
    for (const Entry& e : Select([](const Entry& x) { return x.kind == Entry::Kind::Devices; })) {
      for (const auto& [info, sighted] : updated)
        DeliverTo(e, [&](const Entry& x) { x.listener->OnDeviceChanged(info, sighted); });
      for (BluetoothAddress a : changes.removed) DeliverTo(e, [&](const Entry& x) { x.listener->OnDeviceRemoved(a); });
    }
  }

  // Under m_mutex.
  platform::DeviceInfo InfoOf(const Device& d) const {
    platform::DeviceInfo info;
    info.address = d.address;
    info.classOfDevice = d.classOfDevice;
    info.connected = d.connected;
    info.remembered = d.Remembered();
    info.authenticated = d.Authenticated();
    info.name = d.name;
    info.lastSeen = ToUtcTime(m_times.LastSeen(d.address));
    info.lastUsed = ToUtcTime(m_times.LastUsed(d.address));
    return info;
  }

  std::vector<std::string> Powered(const std::vector<std::string>& paths) const {
    std::vector<std::string> out;
    std::lock_guard lock(m_mutex);
    for (const auto& p : paths)
      if (const Adapter* a = m_tree.FindAdapter(p); a != nullptr && a->powered) out.push_back(p);
    return out;
  }

  // A discovery session on each adapter for multiplier x 1.28 s. False when
  // it was cancelled (or the stack is closing).
  bool RunInquiry(const std::vector<std::string>& adapters, std::uint8_t multiplier, std::stop_token cancel) {
    if (OnDbusThread()) return true;  // a sink may not wait for its own thread
    BeginDiscovery(adapters);
    {
      std::unique_lock lock(m_waitMutex);
      m_waitCv.wait_for(lock, cancel, std::chrono::milliseconds(1280LL * multiplier), [this] { return m_closing; });
    }
    EndDiscovery(adapters);
    std::lock_guard lock(m_waitMutex);
    return !cancel.stop_requested() && !m_closing;
  }

  BluezOptions m_options;
  std::string m_timesPath;

  // The cached tree, the times and the bus state.
  mutable std::mutex m_mutex;
  ObjectTree m_tree;
  DeviceTimes m_times;
  bool m_timesWritable = false;
  bool m_answered = false;
  std::string m_uniqueName;

  SdpClient m_sdp;

  // The D-Bus thread and its worker.
  std::unique_ptr<DbusThread> m_thread;
  mutable std::mutex m_workerMutex;
  DbusWorker* m_worker = nullptr;
  std::thread::id m_dbusThread;
  std::mutex m_stateMutex;
  std::condition_variable m_stateCv;
  bool m_workerUp = false;
  bool m_firstAttemptDone = false;
  std::atomic<bool> m_startupOver{false};

  // Inquiries waiting.
  std::mutex m_waitMutex;
  std::condition_variable_any m_waitCv;
  bool m_closing = false;

  // Registrations.
  std::mutex m_registryMutex;
  std::mutex m_deliveryMutex;
  std::vector<Entry> m_entries;
  std::uint64_t m_nextId = 0;
  std::atomic<int> m_deviceListeners{0};
};

void DbusThread::run() {
  DbusWorker worker(m_host, m_options);
  m_stack.WorkerRunning(&worker);
  worker.Start();
  exec();
  m_stack.WorkerRunning(nullptr);
  worker.Shutdown();
}

bool BluezRadio::GetInfo(platform::RadioInfo& info) const { return m_stack.RadioInfoOf(m_path, info); }

Registration::~Registration() { m_stack.Unregister(m_id); }

Discovery::Discovery(StackImpl& stack, std::vector<std::string> adapters)
    : m_stack(stack), m_adapters(std::move(adapters)) {
  m_stack.BeginDiscovery(m_adapters);
}

Discovery::~Discovery() { m_stack.EndDiscovery(m_adapters); }

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
