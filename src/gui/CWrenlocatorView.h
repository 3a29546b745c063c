#pragma once
// The device list: one row per Bluetooth address, ten columns, in the
// order rows arrived (never sorted). Column widths follow the width of the
// list at every resize; the user may drag columns into another order, and
// column 2 stays the address wherever it is shown.

#include <QTableView>

#include <functional>
#include <string>
#include <vector>

class QMenu;

namespace wren::gui {

class CDeviceAuditDlg;
class DeviceTableModel;

class CWrenlocatorView : public QTableView {
  Q_OBJECT
public:
  explicit CWrenlocatorView(DeviceTableModel& model, QWidget* parent = nullptr);

  // The selected device: the first row both selected and focused, or -1.
  int GetSelectedRow() const;
  // The address (column 2) of the selected device, "" without one.
  std::string SelectedAddress() const;

  // Per-device commands; without a handler they are shown disabled.
  using DeviceCommand = std::function<void(const std::string& address)>;
  void SetDeviceInformationHandler(DeviceCommand handler) { m_information = std::move(handler); }
  void SetAuditHandler(DeviceCommand handler) { m_audit = std::move(handler); }
  // The audit dialog the view keeps for its whole life (it takes it over);
  // the audit command shows it with the selected address.
  void SetAuditDialog(CDeviceAuditDlg* dialog);
  CDeviceAuditDlg* AuditDialog() const { return m_auditDialog; }

  // Whole-list commands of the context menu (copy and save); without a
  // handler they are shown disabled.
  using ListCommand = std::function<void()>;
  void SetCopyRowHandler(ListCommand handler) { m_copyRow = std::move(handler); }
  void SetCopyAllHandler(ListCommand handler) { m_copyAll = std::move(handler); }
  void SetSaveAsHandler(ListCommand handler) { m_saveAs = std::move(handler); }

  void ShowDeviceInformation();
  void AuditSelectedDevice();

  // Every selected row, for the copy commands (which take the topmost).
  std::vector<int> SelectedRows() const;

  // The pop-up of a right-click (resource 131's entries), owned by the caller.
  QMenu* CreateContextMenu(QWidget* parent);

signals:
  void contextMenuShown(QMenu* menu);

protected:
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
  void ApplyColumnWidths();
  void ShowContextMenu(const QPoint& position);

  DeviceCommand m_information;
  DeviceCommand m_audit;
  CDeviceAuditDlg* m_auditDialog = nullptr;
  ListCommand m_copyRow;
  ListCommand m_copyAll;
  ListCommand m_saveAs;
};

}  // namespace wren::gui
