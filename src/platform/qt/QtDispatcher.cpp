#include "platform/qt/QtDispatcher.h"

#include <QMetaObject>

namespace wren::platform {

QtDispatcher::QtDispatcher() : m_context(std::make_unique<QObject>()) {}

QtDispatcher::~QtDispatcher() = default;

void QtDispatcher::Post(std::function<void()> task) {
  ++m_pending;
  QMetaObject::invokeMethod(
      m_context.get(),
      [this, task = std::move(task)] {
        task();
        --m_pending;
      },
      Qt::QueuedConnection);
}

}  // namespace wren::platform
