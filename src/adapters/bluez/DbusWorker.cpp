#include "adapters/bluez/DbusWorker.h"

#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QVariantMap>

#include <utility>

#include "adapters/bluez/BluezErrors.h"
#include "adapters/bluez/DbusConvert.h"
#include "adapters/bluez/PairingAgent.h"

namespace wren::bluez {
namespace {

const QString kService = QStringLiteral("org.bluez");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kAdapter = QStringLiteral("org.bluez.Adapter1");
const QString kDevice = QStringLiteral("org.bluez.Device1");

constexpr int kCallTimeoutMs = DbusWorker::kCallTimeoutMs;
// While connected, how often the connection is looked at in case the
// bus went away without a word (a local check, no bus traffic).
constexpr int kWatchdogMs = 2000;

// Read at every attempt, as libdbus would: tests and sandboxes point it
// elsewhere.
QString SystemBusAddress() {
  const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
  return address.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket")
                           : QString::fromUtf8(address);
}

}  // namespace

DbusWorker::DbusWorker(WorkerHost& host, const BluezOptions& options)
    : m_host(host), m_options(options), m_retry(this), m_watchdog(this), m_saveTimer(this) {
  m_retry.setSingleShot(true);
  m_retry.setInterval(std::max(50, options.reconnectMs));
  connect(&m_retry, &QTimer::timeout, this, &DbusWorker::tryConnect);
  m_watchdog.setInterval(kWatchdogMs);
  connect(&m_watchdog, &QTimer::timeout, this, [this] {
    if (m_bus && !m_bus->isConnected()) onDisconnected();
  });
  m_saveTimer.setSingleShot(true);
  m_saveTimer.setInterval(std::max(0, options.saveDelayMs));
  connect(&m_saveTimer, &QTimer::timeout, this, [this] { m_host.SaveTimes(); });
}

DbusWorker::~DbusWorker() = default;

void DbusWorker::Start() { tryConnect(); }

void DbusWorker::Shutdown() {
  m_retry.stop();
  m_watchdog.stop();
  // Every request hears an answer, also this one.
  auto requests = std::move(m_requests);
  m_requests.clear();
  for (auto& [id, done] : requests)
    if (done) done(ResultOfErrorName("org.freedesktop.DBus.Error.Disconnected"));
  if (m_bus) {
    // BlueZ drops our agent and discovery sessions with the connection.
    m_bus.reset();
    QDBusConnection::disconnectFromBus(m_connectionName);
  }
  if (m_saveTimer.isActive()) {
    m_saveTimer.stop();
    m_host.SaveTimes();
  }
}

void DbusWorker::tryConnect() {
  m_connectionName =
      QStringLiteral("wren-bluez-%1-%2").arg(reinterpret_cast<quintptr>(this)).arg(++m_attempt);
  QDBusConnection bus = QDBusConnection::connectToBus(SystemBusAddress(), m_connectionName);
  if (!bus.isConnected()) {
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_host.BusState(false, "");
    m_retry.start();
    return;
  }
  m_bus.emplace(bus);
  m_agentExported = false;
  m_agentRegistered = false;
  bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
              QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), this,
              SLOT(onDisconnected()));
  bus.connect(kService, QString(), kObjectManager, QStringLiteral("InterfacesAdded"), this,
              SLOT(onInterfacesAdded(QDBusMessage)));
  bus.connect(kService, QString(), kObjectManager, QStringLiteral("InterfacesRemoved"), this,
              SLOT(onInterfacesRemoved(QDBusMessage)));
  bus.connect(kService, QString(), kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
              SLOT(onPropertiesChanged(QDBusMessage)));
  delete m_watcher;
  m_watcher =
      new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &DbusWorker::onOwnerChanged);
  m_watchdog.start();
  FetchObjects();
}

void DbusWorker::onDisconnected() {
  if (!m_bus) return;
  LoseBluez();
  m_watchdog.stop();
  delete m_watcher;
  m_watcher = nullptr;
  m_bus.reset();
  QDBusConnection::disconnectFromBus(m_connectionName);
  ++m_fetch;
  m_host.BusState(false, "");
  m_retry.start();
}

void DbusWorker::LoseBluez() {
  m_inquiries.clear();
  m_bluezOwner.clear();
  m_agentRegistered = false;
  Applied(m_host.Apply([](ObjectTree& tree, TreeChanges& out) { tree.Clear(out); }));
  m_host.BusState(false, m_bus ? m_bus->baseService().toStdString() : std::string());
}

void DbusWorker::onOwnerChanged(const QString&, const QString& oldOwner, const QString& newOwner) {
  if (!oldOwner.isEmpty()) LoseBluez();
  // A new BlueZ: ask for its objects (the reply names its owner).
  if (!newOwner.isEmpty()) FetchObjects();
}

void DbusWorker::FetchObjects() {
  const std::uint64_t fetch = ++m_fetch;
  Call(QDBusMessage::createMethodCall(kService, QStringLiteral("/"), kObjectManager,
                                      QStringLiteral("GetManagedObjects")),
       kCallTimeoutMs, [this, fetch](const QDBusMessage& reply) {
         if (fetch != m_fetch || !m_bus) return;
         std::vector<ManagedObject> objects;
         const bool answered = ReadManagedObjects(reply, objects);
         if (answered) m_bluezOwner = reply.service();
         // The first answer is what the program starts with; any later
         // one (BlueZ started, restarted, the bus back) changes the tree.
         const bool announce = m_host.StartupOver();
         Applied(m_host.Apply(
             [&](ObjectTree& tree, TreeChanges& out) { tree.Reset(objects, announce, out); }));
         m_host.BusState(answered, m_bus->baseService().toStdString());
         if (answered && m_host.AgentWanted()) RegisterAgent();
       });
}

void DbusWorker::RegisterAgent() {
  if (!m_bus) return;
  if (m_agent == nullptr) {
    m_agent = new PairingAgent([this](const std::string& path) { m_host.PairingRequest(path); },
                               [this](const std::function<void(platform::PairingAgent&)>& ask) {
                                 return m_host.AskAgent(ask);
                               },
                               [this] { return m_bluezOwner; }, this);
  }
  if (!m_agentExported)
    m_agentExported = m_bus->registerObject(QString::fromLatin1(PairingAgent::kPath), m_agent,
                                            QDBusConnection::ExportAllSlots);
  if (!m_agentExported) return;
  QDBusMessage reg = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/bluez"),
                                                    QStringLiteral("org.bluez.AgentManager1"),
                                                    QStringLiteral("RegisterAgent"));
  reg << QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(PairingAgent::kPath)))
      << QStringLiteral("KeyboardDisplay");
  m_agentRegistered = true;
  Call(reg, kCallTimeoutMs, [this](const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage) {
      m_agentRegistered = false;
      return;
    }
    // Requests from devices go to the default agent only.
    QDBusMessage def = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/bluez"),
                                                      QStringLiteral("org.bluez.AgentManager1"),
                                                      QStringLiteral("RequestDefaultAgent"));
    def << QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(PairingAgent::kPath)));
    Call(def, kCallTimeoutMs, nullptr);
  });
}

void DbusWorker::UnregisterAgent() {
  if (!m_bus || !m_agentRegistered) return;
  m_agentRegistered = false;
  QDBusMessage unreg = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/bluez"),
                                                      QStringLiteral("org.bluez.AgentManager1"),
                                                      QStringLiteral("UnregisterAgent"));
  unreg << QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(PairingAgent::kPath)));
  Call(unreg, kCallTimeoutMs, nullptr);
}

void DbusWorker::UpdateAgent() {
  if (m_bluezOwner.isEmpty()) return;  // done when BlueZ answers
  if (m_host.AgentWanted()) {
    if (!m_agentRegistered) RegisterAgent();
  } else {
    UnregisterAgent();
  }
}

void DbusWorker::onInterfacesAdded(const QDBusMessage& signal) {
  ManagedObject object;
  if (!ReadInterfacesAdded(signal, object)) return;
  Applied(
      m_host.Apply([&](ObjectTree& tree, TreeChanges& out) { tree.AddInterfaces(object, out); }));
}

void DbusWorker::onInterfacesRemoved(const QDBusMessage& signal) {
  std::string path;
  std::vector<std::string> interfaces;
  if (!ReadInterfacesRemoved(signal, path, interfaces)) return;
  Applied(m_host.Apply(
      [&](ObjectTree& tree, TreeChanges& out) { tree.RemoveInterfaces(path, interfaces, out); }));
}

void DbusWorker::onPropertiesChanged(const QDBusMessage& signal) {
  std::string interface;
  Properties changed;
  std::vector<std::string> invalidated;
  if (!ReadPropertiesChanged(signal, interface, changed, invalidated)) return;
  const std::string path = signal.path().toStdString();
  Applied(m_host.Apply([&](ObjectTree& tree, TreeChanges& out) {
    tree.ChangeProperties(path, interface, changed, invalidated, out);
  }));
}

void DbusWorker::Applied(bool timesChanged) {
  if (timesChanged && !m_saveTimer.isActive()) m_saveTimer.start();
}

void DbusWorker::BeginInquiry(const std::string& adapterPath) {
  if (m_inquiries[adapterPath]++ > 0) return;
  const QString path = QString::fromStdString(adapterPath);
  // BlueZ takes the calls in order, so discovery starts with the filter
  // set. Without a filter call older BlueZ still discovers.
  QDBusMessage filter = QDBusMessage::createMethodCall(kService, path, kAdapter,
                                                       QStringLiteral("SetDiscoveryFilter"));
  QVariantMap settings;
  settings.insert(QStringLiteral("Transport"), QStringLiteral("auto"));
  filter << settings;
  Call(filter, kCallTimeoutMs, nullptr);
  Call(QDBusMessage::createMethodCall(kService, path, kAdapter, QStringLiteral("StartDiscovery")),
       kCallTimeoutMs, nullptr);
}

void DbusWorker::EndInquiry(const std::string& adapterPath) {
  auto it = m_inquiries.find(adapterPath);
  if (it == m_inquiries.end()) return;  // BlueZ went away meanwhile
  if (--it->second > 0) return;
  m_inquiries.erase(it);
  Call(QDBusMessage::createMethodCall(kService, QString::fromStdString(adapterPath), kAdapter,
                                      QStringLiteral("StopDiscovery")),
       kCallTimeoutMs, nullptr);
}

void DbusWorker::Request(const std::string& path, const QString& interface, const QString& method,
                         const QVariantList& args, int timeoutMs, platform::DeviceDone done) {
  const std::uint64_t id = ++m_nextRequest;
  m_requests[id] = std::move(done);
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, QString::fromStdString(path), interface, method);
  call.setArguments(args);
  Call(call, timeoutMs, [this, id](const QDBusMessage& reply) {
    auto it = m_requests.find(id);
    if (it == m_requests.end()) return;
    auto finish = std::move(it->second);
    m_requests.erase(it);
    std::string name;
    if (reply.type() != QDBusMessage::ReplyMessage) {
      name = reply.errorName().left(static_cast<qsizetype>(kMaxStringBytes)).toStdString();
      // An error without a name is still an error.
      if (name.empty()) name = "org.freedesktop.DBus.Error.Failed";
    }
    if (finish) finish(ResultOfErrorName(name));
  });
}

void DbusWorker::Call(const QDBusMessage& message, int timeoutMs,
                      std::function<void(const QDBusMessage&)> onReply) {
  if (!m_bus) {
    if (onReply)
      onReply(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
                                       QStringLiteral("not connected")));
    return;
  }
  auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(message, timeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [watcher, onReply = std::move(onReply)] {
            watcher->deleteLater();
            if (onReply) onReply(watcher->reply());
          });
}

}  // namespace wren::bluez
