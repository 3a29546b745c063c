#pragma once
// Hands work to the user-interface thread. Scan workers and the stack's
// notification thread never touch the view or the frame directly: they
// post, and the task runs later on that thread.

#include <functional>

namespace wren::platform {

class Dispatcher {
public:
  virtual ~Dispatcher() = default;
  // Queues `task` to run on the user-interface thread, after every task
  // posted before it. Callable from any thread; never runs `task` inside
  // the call. Tasks still queued when the dispatcher goes are dropped.
  virtual void Post(std::function<void()> task) = 0;
};

}  // namespace wren::platform
