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

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/bluez/BluezStack.h"
#include "platform/bluez/ObjectTree.h"

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
  virtual void SaveTimes() = 0;
  // True once the stack's creation stopped waiting for BlueZ's first
  // answer: from then on, adapters that come or go are announced.
  virtual bool StartupOver() const = 0;
};

class DbusWorker : public QObject {
  Q_OBJECT

public:
  DbusWorker(WorkerHost& host, const BluezOptions& options);
  ~DbusWorker() override;

  void Start();
  void Shutdown();

  // Discovery sessions, counted per adapter: the first begins BlueZ's
  // discovery, the last one ending stops it.
  void BeginInquiry(const std::string& adapterPath);
  void EndInquiry(const std::string& adapterPath);
  void Pair(const std::string& devicePath, std::function<void(const PairResult&)> done);

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
  void LoseBluez();
  void Call(const QDBusMessage& message, int timeoutMs, std::function<void(const QDBusMessage&)> onReply);
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
  QTimer m_retry;
  QTimer m_watchdog;
  QTimer m_saveTimer;
  std::map<std::string, int> m_inquiries;
  std::uint64_t m_nextPair = 0;
  std::map<std::uint64_t, std::function<void(const PairResult&)>> m_pairs;
};

}  // namespace wren::bluez
