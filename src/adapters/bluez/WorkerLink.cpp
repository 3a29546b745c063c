#include "adapters/bluez/WorkerLink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <utility>

#include "adapters/bluez/DbusWorker.h"

namespace wren::bluez {

// Its worker is made and destroyed on the thread itself.
class WorkerLink::Thread : public QThread {
public:
  Thread(WorkerLink& link, WorkerHost& host, const BluezOptions& options)
      : m_link(link), m_host(host), m_options(options) {}

protected:
  void run() override {
    DbusWorker worker(m_host, m_options);
    m_link.WorkerRunning(&worker);
    worker.Start();
    exec();
    m_link.WorkerRunning(nullptr);
    worker.Shutdown();
    // Work posted just before the end still runs, without a bus, so that
    // every request hears its answer.
    QCoreApplication::sendPostedEvents(&worker, QEvent::MetaCall);
  }

private:
  WorkerLink& m_link;
  WorkerHost& m_host;
  BluezOptions m_options;
};

bool WorkerLink::Start(std::string& error) {
  m_thread = std::make_unique<Thread>(*this, m_host, m_options);
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

void WorkerLink::Stop() {
  if (!m_thread) return;
  // Queued, so it is seen even before the thread's loop runs.
  Post([](DbusWorker&) { QThread::currentThread()->quit(); });
  m_thread->wait();
  m_thread.reset();
}

bool WorkerLink::Post(std::function<void(DbusWorker&)> fn) {
  std::lock_guard lock(m_workerMutex);
  if (m_worker == nullptr) return false;
  DbusWorker* worker = m_worker;
  QMetaObject::invokeMethod(
      worker, [worker, fn = std::move(fn)] { fn(*worker); }, Qt::QueuedConnection);
  return true;
}

bool WorkerLink::OnDbusThread() const {
  std::lock_guard lock(m_workerMutex);
  return std::this_thread::get_id() == m_dbusThread;
}

void WorkerLink::WorkerRunning(DbusWorker* worker) {
  {
    std::lock_guard lock(m_workerMutex);
    m_worker = worker;
    m_dbusThread = std::this_thread::get_id();
  }
  std::lock_guard lock(m_stateMutex);
  if (worker != nullptr) m_workerUp = true;
  m_stateCv.notify_all();
}

void WorkerLink::AttemptDone() {
  std::lock_guard lock(m_stateMutex);
  m_firstAttemptDone = true;
  m_stateCv.notify_all();
}

}  // namespace wren::bluez
