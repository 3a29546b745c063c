#pragma once
// Scan workers on real threads. Every worker is tracked until it returns;
// finished ones are reaped when the next starts. StopAll (and the
// destructor) requests stop and joins them all, so that a worker never
// outlives the objects it was given.

#include <condition_variable>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "ports/Workers.h"

namespace wren {

class ThreadWorkers : public platform::WorkerStarter {
public:
  ThreadWorkers() = default;
  ~ThreadWorkers() override;
  ThreadWorkers(const ThreadWorkers&) = delete;
  ThreadWorkers& operator=(const ThreadWorkers&) = delete;

  bool Start(Work work) override;
  void StopAll() override;

  // Blocks until no worker is running (more may start meanwhile from other
  // threads; this returns at the first moment none runs).
  void WaitIdle();
  std::size_t Running() const;

private:
  struct Worker {
    bool done = false;    // guarded by m_mutex
    std::jthread thread;  // last, so that it joins before the rest goes
  };

  void ReapFinishedLocked(std::list<Worker>& finished);

  mutable std::mutex m_mutex;
  std::condition_variable m_idle;
  std::list<Worker> m_workers;
  std::size_t m_running = 0;
  bool m_closed = false;
};

}  // namespace wren
