#pragma once
// The device list model as Qt's item views see it: rows and the ten
// columns of the core model, cell texts, cell images from the device image
// strip, header titles and header images. It follows the core model's
// change notices and never holds a copy of its rows.

#include <QAbstractTableModel>

#include "core/list/DeviceListModel.h"

namespace wren::gui {

class DeviceTableModel : public QAbstractTableModel, private DeviceListObserver {
  Q_OBJECT
public:
  explicit DeviceTableModel(DeviceListModel& list, QObject* parent = nullptr);
  ~DeviceTableModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  const DeviceListModel& List() const { return m_list; }
  // Sends the changes not yet told (tests, and before reading the view).
  void FlushPendingChanges() { FlushChanged(); }

private:
  // DeviceListObserver
  void RowsAboutToBeInserted(int first, int last) override;
  void RowsInserted(int first, int last) override;
  void RowsAboutToBeRemoved(int first, int last) override;
  void RowsRemoved(int first, int last) override;
  void RowChanged(int row) override;
  void AboutToReset() override;
  void Reset() override;

  // Changed rows are told to the views as runs of neighbours: a merge that
  // rewrites ten thousand rows becomes one notice, not ten thousand. The
  // run goes out before any insertion, removal or reset, and otherwise on
  // the next turn of the event loop.
  void FlushChanged();

  DeviceListModel& m_list;
  int m_changedFirst = -1;
  int m_changedLast = -1;
  bool m_flushPosted = false;
};

}  // namespace wren::gui
