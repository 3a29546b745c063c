#pragma once
// The device windows the core asks for, as our own dialogs over the
// device manager port: the property sheet is CDeviceInfoDlg, the
// selection dialog with its add-device steps CSearchAddDlg. A parent
// handle names one of the program's widgets (HandleOf); any other value
// opens the dialog over the default parent.

#include <QPointer>
#include <QWidget>

#include "gui/CDeviceInfoDlg.h"
#include "ports/DeviceManager.h"

namespace wren::gui {

class QtDeviceDialogs : public platform::DeviceDialogs {
public:
  QtDeviceDialogs(platform::DeviceManager& devices, CDeviceInfoDlg::ProducerLookup producer,
                  QWidget* defaultParent = nullptr);

  static platform::WindowHandle HandleOf(QWidget* widget);
  // The widget a handle names, when it is one of the program's; else null.
  static QWidget* WidgetOf(platform::WindowHandle handle);

  // Opens Device Information modally for `device`.
  void DisplayDeviceProperties(platform::WindowHandle parent,
                               const platform::DeviceInfo& device) override;
  // Runs "Search and Add New Bluetooth Device" modally; true when devices
  // were chosen (added), which are then in `chosen`.
  bool SelectDevices(const platform::DeviceSelection& selection,
                     std::vector<platform::DeviceInfo>& chosen) override;

  // Runs before the dialog is shown (tests drive it from here).
  void SetBeforeShow(std::function<void(CDeviceInfoDlg&)> hook) { m_beforeShow = std::move(hook); }

private:
  platform::DeviceManager& m_devices;
  CDeviceInfoDlg::ProducerLookup m_producer;
  QPointer<QWidget> m_defaultParent;
  std::function<void(CDeviceInfoDlg&)> m_beforeShow;
};

}  // namespace wren::gui
