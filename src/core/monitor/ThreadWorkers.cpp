#include "core/monitor/ThreadWorkers.h"

#include <system_error>
#include <utility>

namespace wren {

ThreadWorkers::~ThreadWorkers() { StopAll(); }

void ThreadWorkers::ReapFinishedLocked(std::list<Worker>& finished) {
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    auto next = std::next(it);
    if (it->done) finished.splice(finished.end(), m_workers, it);
    it = next;
  }
}

bool ThreadWorkers::Start(Work work) {
  std::list<Worker> finished;
  {
    std::lock_guard lock(m_mutex);
    if (m_closed) return false;
    ReapFinishedLocked(finished);
    m_workers.emplace_back();
    auto self = std::prev(m_workers.end());
    try {
      self->thread = std::jthread([this, self, work = std::move(work)](std::stop_token stop) {
        work(stop);
        {
          std::lock_guard done(m_mutex);
          self->done = true;
          --m_running;
        }
        m_idle.notify_all();
      });
    } catch (const std::system_error&) {
      m_workers.erase(self);
      return false;
    }
    ++m_running;
  }
  // Joined outside the lock: a finishing worker still takes it once.
  finished.clear();
  return true;
}

void ThreadWorkers::StopAll() {
  std::list<Worker> all;
  {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    all.splice(all.end(), m_workers);
  }
  for (auto& worker : all) worker.thread.request_stop();
  all.clear();  // joins each
}

void ThreadWorkers::WaitIdle() {
  std::unique_lock lock(m_mutex);
  m_idle.wait(lock, [this] { return m_running == 0; });
}

std::size_t ThreadWorkers::Running() const {
  std::lock_guard lock(m_mutex);
  return m_running;
}

}  // namespace wren
