#pragma once
// The D-Bus side of the BlueZ stack, living on the stack's own thread:
// the bus connection (made again when the bus comes back), the object
// manager's answer and signals, discovery sessions, pairing and the
// pairing agent. It never blocks on a call: every call is asynchronous
// and its reply arrives on this thread's event loop.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "ports/DeviceManager.h"
#include "adapters/bluez/BluezStack.h"
#include "adapters/bluez/ObjectTree.h"

class QDBusServiceWatcher;

namespace wren::bluez {

class PairingAgent;

// What the worker needs of the stack. Called on the worker's thread.
class WorkerHost {
public:
  virtual ~WorkerHost() = default;
  // Runs `change` on the object tree under the stack's lock, then delivers
  // what it meant. True when device times changed (to be saved).
  virtual bool Apply(const std::function<void(ObjectTree&, TreeChanges&)>& change) = 0;
  // After every attempt to reach BlueZ: whether it answered, and our name
  // on the bus ("" without a bus).
  virtual void BusState(bool bluezAnswered, const std::string& uniqueName) = 0;
  virtual void PairingRequest(const std::string& devicePath) = 0;
  // Whether our agent should be registered with BlueZ now.
  virtual bool AgentWanted() const = 0;
  // Hands a question of BlueZ to the user's pairing agent; false when
  // none is registered.
  virtual bool AskAgent(const std::function<void(platform::PairingAgent&)>& ask) = 0;
  virtual void SaveTimes() = 0;
  // True once the stack's creation stopped waiting for BlueZ's first
  // answer: from then on, adapters that come or go are announced.
  virtual bool StartupOver() const = 0;
};

class DbusWorker : public QObject {
  Q_OBJECT

public:
  static constexpr int kCallTimeoutMs = 10000;
  // Pairing waits for the other side's user; BlueZ gives up before this.
  static constexpr int kPairTimeoutMs = 90000;

  DbusWorker(WorkerHost& host, const BluezOptions& options);
  ~DbusWorker() override;

  void Start();
  void Shutdown();

  // Discovery sessions, counted per adapter: the first begins BlueZ's
  // discovery, the last one ending stops it.
  void BeginInquiry(const std::string& adapterPath);
  void EndInquiry(const std::string& adapterPath);
  // Calls `method` of `interface` on a BlueZ object; `done` hears the
  // outcome once, with BlueZ's error in words.
  void Request(const std::string& path, const QString& interface, const QString& method,
               const QVariantList& args, int timeoutMs, platform::DeviceDone done);
  // Registers our agent with BlueZ, or takes it back, as the host wants.
  void UpdateAgent();

private slots:
  void onInterfacesAdded(const QDBusMessage& signal);
  void onInterfacesRemoved(const QDBusMessage& signal);
  void onPropertiesChanged(const QDBusMessage& signal);
  void onOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);
  void onDisconnected();
  void tryConnect();

private:
  void FetchObjects();
  void RegisterAgent();
  void UnregisterAgent();
  void LoseBluez();
  void Call(const QDBusMessage& message, int timeoutMs,
            std::function<void(const QDBusMessage&)> onReply);
  void Applied(bool timesChanged);

  WorkerHost& m_host;
  BluezOptions m_options;
  std::optional<QDBusConnection> m_bus;
  QString m_connectionName;
  int m_attempt = 0;
  std::uint64_t m_fetch = 0;  // replies to older fetches are dropped
  QString m_bluezOwner;
  QDBusServiceWatcher* m_watcher = nullptr;
  PairingAgent* m_agent = nullptr;
  bool m_agentExported = false;
  bool m_agentRegistered = false;
  QTimer m_retry;
  QTimer m_watchdog;
  QTimer m_saveTimer;
  std::map<std::string, int> m_inquiries;
  std::uint64_t m_nextRequest = 0;
  std::map<std::uint64_t, platform::DeviceDone> m_requests;
};

}  // namespace wren::bluez
