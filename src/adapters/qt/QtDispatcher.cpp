#include "adapters/qt/QtDispatcher.h"

namespace wren::platform {

QtDispatcher::QtDispatcher()
    : m_context(std::make_unique<QObject>()), m_post(std::make_unique<UiPost>(m_context.get())) {}

QtDispatcher::~QtDispatcher() { m_post->Detach(); }

void QtDispatcher::Post(std::function<void()> task) {
  ++m_pending;
  const bool queued = m_post->Post([this, task = std::move(task)] {
    task();
    --m_pending;
  });
  if (!queued) --m_pending;
}

}  // namespace wren::platform
