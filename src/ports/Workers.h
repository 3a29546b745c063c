#pragma once
// Starts scan workers, each on a thread of its own, and keeps track of
// them so that nothing outlives the window that started it.

#include <functional>
#include <stop_token>

namespace wren::platform {

class WorkerStarter {
public:
  using Work = std::function<void(std::stop_token)>;

  virtual ~WorkerStarter() = default;
  // Runs `work` on a new thread; false when no thread could be started
  // (the work is then dropped). `work` should return soon after stop is
  // requested on its token.
  virtual bool Start(Work work) = 0;
  // Requests stop on every running worker and waits until all have
  // returned. Later Start calls are refused.
  virtual void StopAll() = 0;
};

}  // namespace wren::platform
