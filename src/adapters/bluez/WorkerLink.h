#pragma once
// The thread the D-Bus side lives on, and the way to it: work posted from
// any thread runs on the worker, in order; the stack's creation waits for
// BlueZ's first answer.

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "adapters/bluez/BluezStack.h"

namespace wren::bluez {

class DbusWorker;
class WorkerHost;

class WorkerLink {
public:
  WorkerLink(WorkerHost& host, const BluezOptions& options) : m_host(host), m_options(options) {}
  ~WorkerLink() { Stop(); }
  WorkerLink(const WorkerLink&) = delete;
  WorkerLink& operator=(const WorkerLink&) = delete;

  // Starts the thread and waits up to startupWaitMs for BlueZ's first
  // answer. False with `error` when the thread did not start.
  bool Start(std::string& error);
  // Ends the thread; posted work not yet run is dropped.
  void Stop();

  // Runs `fn` on the D-Bus thread; false (and dropped) once the thread
  // has ended.
  bool Post(std::function<void(DbusWorker&)> fn);
  bool OnDbusThread() const;

  // The worker's side: it runs (or, with null, has stopped), and an
  // attempt to reach BlueZ ended.
  void WorkerRunning(DbusWorker* worker);
  void AttemptDone();
  bool StartupOver() const { return m_startupOver.load(); }

private:
  class Thread;

  WorkerHost& m_host;
  BluezOptions m_options;
  std::unique_ptr<QThread> m_thread;

  mutable std::mutex m_workerMutex;
  DbusWorker* m_worker = nullptr;
  std::thread::id m_dbusThread;

  std::mutex m_stateMutex;
  std::condition_variable m_stateCv;
  bool m_workerUp = false;
  bool m_firstAttemptDone = false;
  std::atomic<bool> m_startupOver{false};
};

}  // namespace wren::bluez
