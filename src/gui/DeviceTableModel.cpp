#include "gui/DeviceTableModel.h"

#include <QIcon>
#include <QMetaObject>
#include <QString>

#include <algorithm>

#include "gui/DeviceImageStrip.h"

namespace wren::gui {

DeviceTableModel::DeviceTableModel(DeviceListModel& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {
  m_list.SetObserver(this);
}

DeviceTableModel::~DeviceTableModel() { m_list.SetObserver(nullptr); }

int DeviceTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_list.RowCount();
}

int DeviceTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant DeviceTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_list.RowCount() || index.column() >= kColumnCount)
    return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(m_list.CellText(index.row(), index.column()));
    case Qt::DecorationRole: {
      const int image = m_list.CellImage(index.row(), index.column());
      if (image == kNoImage) return {};
      return DeviceImageStrip::Shared().Icon(image);
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant DeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
    return QAbstractTableModel::headerData(section, orientation, role);
  const ColumnInfo& column = kColumns[static_cast<std::size_t>(section)];
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromUtf8(column.title.data(), static_cast<qsizetype>(column.title.size()));
    case Qt::DecorationRole:
      return DeviceImageStrip::Shared().Icon(column.headerImage);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

Qt::ItemFlags DeviceTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void DeviceTableModel::RowsAboutToBeInserted(int first, int last) {
  FlushChanged();
  beginInsertRows({}, first, last);
}

void DeviceTableModel::RowsInserted(int, int) { endInsertRows(); }

void DeviceTableModel::RowsAboutToBeRemoved(int first, int last) {
  FlushChanged();
  beginRemoveRows({}, first, last);
}

void DeviceTableModel::RowsRemoved(int, int) { endRemoveRows(); }

// A changed row joins the run it follows, or starts a new one.
void DeviceTableModel::RowChanged(int row) {
  if (m_changedFirst >= 0 && row == m_changedLast + 1) {
    m_changedLast = row;
    return;
  }
  FlushChanged();
  m_changedFirst = m_changedLast = row;
  if (!m_flushPosted) {
    m_flushPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_flushPosted = false;
          FlushChanged();
        },
        Qt::QueuedConnection);
  }
}

void DeviceTableModel::FlushChanged() {
  if (m_changedFirst < 0) return;
  const int first = m_changedFirst;
  const int last = std::min(m_changedLast, m_list.RowCount() - 1);
  m_changedFirst = m_changedLast = -1;
  if (first > last) return;
  emit dataChanged(index(first, 0), index(last, kColumnCount - 1),
                   {Qt::DisplayRole, Qt::DecorationRole, Qt::ToolTipRole});
}

void DeviceTableModel::AboutToReset() {
  m_changedFirst = m_changedLast = -1;  // every row is told anew
  beginResetModel();
}

void DeviceTableModel::Reset() { endResetModel(); }

}  // namespace wren::gui
