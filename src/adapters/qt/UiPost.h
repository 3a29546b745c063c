#pragma once
// The one way work reaches the user-interface thread: calls from the
// stack's threads, workers and timers are queued to a target object on
// that thread. The target detaches in its destructor; from then on nothing
// more is posted, and what was posted but not yet run is dropped with the
// target, so a late answer never touches a dead window.

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace wren::platform {

class UiPost {
public:
  explicit UiPost(QObject* target) : m_target(target) {}

  // Queues `task` to run on the target's thread; never runs it inside the
  // call. Callable from any thread. False once detached.
  bool Post(std::function<void()> task) {
    std::lock_guard lock(m_mutex);
    if (!m_target) return false;
    QMetaObject::invokeMethod(m_target, std::move(task), Qt::QueuedConnection);
    return true;
  }

  // Called by the target before it goes; waits for a post in progress.
  void Detach() {
    std::lock_guard lock(m_mutex);
    m_target = nullptr;
  }

private:
  std::mutex m_mutex;
  QObject* m_target;
};

}  // namespace wren::platform
