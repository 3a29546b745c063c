#pragma once
// Answers to the stack's questions (the pairing agent's) that are given
// exactly once, whatever the user does with the window that asks.

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace wren::gui {

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
