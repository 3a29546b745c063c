#include "gui/CWrenlocatorView.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QResizeEvent>

#include "gui/CDeviceAuditDlg.h"
#include "gui/DeviceTableModel.h"
#include "core/list/DeviceListModel.h"

namespace wren::gui {

CWrenlocatorView::CWrenlocatorView(DeviceTableModel& model, QWidget* parent) : QTableView(parent) {
  setObjectName("deviceList");
  setModel(&model);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setShowGrid(true);
  setSortingEnabled(false);
  setWordWrap(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setIconSize(QSize(16, 15));
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setObjectName("deviceListHeader");
  horizontalHeader()->setSectionsMovable(true);
  horizontalHeader()->setSortIndicatorShown(false);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setMinimumSectionSize(1);

  // The selected row stays highlighted when the list has no focus.
  QPalette shown = palette();
  shown.setColor(QPalette::Inactive, QPalette::Highlight,
                 shown.color(QPalette::Active, QPalette::Highlight));
  shown.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 shown.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(shown);

  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, &CWrenlocatorView::ShowContextMenu);
  ApplyColumnWidths();
}

int CWrenlocatorView::GetSelectedRow() const {
  const QItemSelectionModel* selection = selectionModel();
  if (!selection) return -1;
  // Single selection: only the focused row can be both.
  const int current = selection->currentIndex().row();
  return current >= 0 && selection->isRowSelected(current, {}) ? current : -1;
}

std::string CWrenlocatorView::SelectedAddress() const {
  const int row = GetSelectedRow();
  if (row < 0) return {};
  return model()->index(row, kAddressColumn).data(Qt::DisplayRole).toString().toStdString();
}

std::vector<int> CWrenlocatorView::SelectedRows() const {
  std::vector<int> rows;
  if (const QItemSelectionModel* selection = selectionModel())
    for (const QModelIndex& index : selection->selectedRows()) rows.push_back(index.row());
  return rows;
}

void CWrenlocatorView::ShowDeviceInformation() {
  if (GetSelectedRow() < 0 || !m_information) return;
  m_information(SelectedAddress());
}

void CWrenlocatorView::SetAuditDialog(CDeviceAuditDlg* dialog) {
  delete m_auditDialog;
  m_auditDialog = dialog;
  if (m_auditDialog) m_auditDialog->setParent(this, m_auditDialog->windowFlags() | Qt::Dialog);
}

void CWrenlocatorView::AuditSelectedDevice() {
  if (GetSelectedRow() < 0) return;
  if (m_auditDialog) {
    m_auditDialog->SetAddress(SelectedAddress());
    m_auditDialog->DoModal();
  } else if (m_audit) {
    m_audit(SelectedAddress());
  }
}

void CWrenlocatorView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  ApplyColumnWidths();
}

// Widths chosen by the user give way to the formula at every resize; a
// list squeezed to 100 pixels or less keeps what it has.
void CWrenlocatorView::ApplyColumnWidths() {
  const QSize client = viewport()->size();
  if (client.width() <= 100 || client.height() <= 100) return;
  const auto widths = ColumnWidths(client.width());
  for (int column = 0; column < kColumnCount; ++column)
    horizontalHeader()->resizeSection(column, widths[static_cast<std::size_t>(column)]);
}

void CWrenlocatorView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) ShowDeviceInformation();
}

QMenu* CWrenlocatorView::CreateContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName("deviceListMenu");
  auto add = [menu](const char* name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    return action;
  };
  QAction* services = add("contextDeviceServices", "Device Services");
  services->setEnabled(m_auditDialog || m_audit);
  connect(services, &QAction::triggered, this, &CWrenlocatorView::AuditSelectedDevice);
  menu->addSeparator();
  QAction* information = add("contextDeviceInformation", "Device Information");
  information->setEnabled(static_cast<bool>(m_information));
  connect(information, &QAction::triggered, this, &CWrenlocatorView::ShowDeviceInformation);
  menu->addSeparator();
  auto listCommand = [&](const char* name, const QString& text, const ListCommand& handler) {
    QAction* action = add(name, text);
    action->setEnabled(static_cast<bool>(handler));
    // The handler is looked up when chosen: the menu may outlive a change.
    connect(action, &QAction::triggered, this, [&handler] {
      if (handler) handler();
    });
  };
  listCommand("contextCopyRow", "Copy Row...", m_copyRow);
  listCommand("contextCopyAll", "Copy All...", m_copyAll);
  menu->addSeparator();
  listCommand("contextSaveAs", "Save As...", m_saveAs);
  menu->addSeparator();
  return menu;
}

void CWrenlocatorView::ShowContextMenu(const QPoint& position) {
  QMenu* menu = CreateContextMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  emit contextMenuShown(menu);
  menu->popup(viewport()->mapToGlobal(position));
}

}  // namespace wren::gui
