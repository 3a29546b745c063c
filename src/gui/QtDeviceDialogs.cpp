#include "gui/QtDeviceDialogs.h"

#include <QApplication>

#include "gui/CSearchAddDlg.h"

namespace wren::gui {

QtDeviceDialogs::QtDeviceDialogs(platform::DeviceManager& devices,
                                 CDeviceInfoDlg::ProducerLookup producer, QWidget* defaultParent)
    : m_devices(devices), m_producer(std::move(producer)), m_defaultParent(defaultParent) {}

platform::WindowHandle QtDeviceDialogs::HandleOf(QWidget* widget) {
  return reinterpret_cast<platform::WindowHandle>(widget);
}

QWidget* QtDeviceDialogs::WidgetOf(platform::WindowHandle handle) {
  if (handle == 0) return nullptr;
  // Only a live widget of ours: a stale or foreign handle is never used.
  for (QWidget* widget : QApplication::allWidgets())
    if (HandleOf(widget) == handle) return widget;
  return nullptr;
}

void QtDeviceDialogs::DisplayDeviceProperties(platform::WindowHandle parent,
                                              const platform::DeviceInfo& device) {
  QWidget* owner = WidgetOf(parent);
  if (!owner) owner = m_defaultParent;
  CDeviceInfoDlg dialog(m_devices, device, m_producer, owner);
  if (m_beforeShow) m_beforeShow(dialog);
  dialog.exec();
}

bool QtDeviceDialogs::SelectDevices(const platform::DeviceSelection& selection,
                                    std::vector<platform::DeviceInfo>& chosen) {
  QWidget* owner = WidgetOf(selection.parent);
  if (!owner) owner = m_defaultParent;
  return RunSearchAddDialog(owner, m_devices, selection, chosen, m_producer);
}

}  // namespace wren::gui
