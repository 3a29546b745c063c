#pragma once
// Hands calls from the stack's threads to a window on the user-interface
// thread. The window detaches in its destructor; from then on nothing more
// is posted, and what was posted but not yet run is dropped with the
// window, so a late answer never touches a dead window.

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace wren::gui {

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

// A reply that is given exactly once: the first call wins, and a reply
// never given is given as `refusal` when the last copy goes (a question
// dropped with a closing window is declined, not left hanging).
template <typename T>
class ReplyOnce {
public:
  ReplyOnce(std::function<void(T)> reply, T refusal)
      : m_state(std::make_shared<State>(std::move(reply), std::move(refusal))) {}

  void operator()(T value) const { m_state->Give(std::move(value)); }
  void Refuse() const { m_state->Give(m_state->refusal); }

private:
  struct State {
    State(std::function<void(T)> r, T no) : reply(std::move(r)), refusal(std::move(no)) {}
    ~State() {
      if (reply) reply(refusal);
    }
    void Give(T value) {
      std::function<void(T)> once;
      {
        std::lock_guard lock(mutex);
        once.swap(reply);
      }
      if (once) once(std::move(value));
    }
    std::mutex mutex;
    std::function<void(T)> reply;
    T refusal;
  };
  std::shared_ptr<State> m_state;
};

}  // namespace wren::gui
