#pragma once
// The dispatcher port over Qt's event loop: a posted task becomes a queued
// call on the thread that created the adapter (the user-interface thread).
// Tasks still queued when the adapter goes are dropped with its context
// object.

#include <QObject>

#include <atomic>
#include <cstddef>
#include <memory>

#include "adapters/qt/UiPost.h"
#include "ports/Dispatcher.h"

namespace wren::platform {

class QtDispatcher : public Dispatcher {
public:
  QtDispatcher();
  ~QtDispatcher() override;
  QtDispatcher(const QtDispatcher&) = delete;
  QtDispatcher& operator=(const QtDispatcher&) = delete;

  void Post(std::function<void()> task) override;
  // Tasks posted and not yet run.
  std::size_t Pending() const { return m_pending.load(); }

private:
  std::unique_ptr<QObject> m_context;
  std::unique_ptr<UiPost> m_post;
  std::atomic<std::size_t> m_pending{0};
};

}  // namespace wren::platform
