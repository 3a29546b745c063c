#pragma once
// The history report: every device in the history as a tree, one collapsed
// top-level item per entry of the document in file order with the entry's
// summary and image, and under it eight "Label:value" items with image 34.
//
// The dialog works on its own copy of the history document. Its tree's
// items are made only when the view asks for them, so a history of a
// hundred thousand devices opens at once.

#include <QAbstractItemModel>
#include <QDialog>
#include <QIcon>

#include <functional>
#include <string>
#include <vector>

#include "core/bluetooth/DeviceRecord.h"

class QTreeView;

namespace wren {

class DeviceImageStrip;
class MessagePort;

// The device image strip as the dialog sees it: images by index, and how
// many there are. An index out of range shows no image.
class DeviceIconSource {
public:
  virtual ~DeviceIconSource() = default;
  virtual int Count() const = 0;
  virtual QIcon Icon(int index) const = 0;
};

// Any image strip given as its size and a function.
class FunctionIconSource : public DeviceIconSource {
public:
  FunctionIconSource(int count, std::function<QIcon(int)> icon)
      : m_count(count), m_icon(std::move(icon)) {}
  int Count() const override { return m_count; }
  QIcon Icon(int index) const override { return m_icon ? m_icon(index) : QIcon(); }

private:
  int m_count;
  std::function<QIcon(int)> m_icon;
};

// The program's own device image strip.
class StripIconSource : public DeviceIconSource {
public:
  explicit StripIconSource(const DeviceImageStrip& strip) : m_strip(strip) {}
  int Count() const override;
  QIcon Icon(int index) const override;

private:
  const DeviceImageStrip& m_strip;
};

// The tree's items over the entries read from the document.
class HistoryTreeModel : public QAbstractItemModel {
  Q_OBJECT
public:
  // Display texts longer than this are cut for the tree (the history file
  // keeps them whole).
  static constexpr int kShownLength = 4096;

  HistoryTreeModel(std::vector<DeviceRecord> entries, const DeviceIconSource* icons,
                   QObject* parent = nullptr);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  const std::vector<DeviceRecord>& Entries() const { return m_entries; }

private:
  QVariant IconAt(int image) const;

  std::vector<DeviceRecord> m_entries;
  const DeviceIconSource* m_icons;
};

class CHistoryDialog : public QDialog {
  Q_OBJECT
public:
  // `documentText` is a copy of the history document (as the history file
  // was last saved); `icons` may be null (no images) and must outlive the
  // dialog.
  CHistoryDialog(const std::string& documentText, const DeviceIconSource* icons,
                 QWidget* parent = nullptr);

  QTreeView* Tree() const { return m_tree; }
  HistoryTreeModel* Model() const { return m_model; }

private:
  QTreeView* m_tree = nullptr;
  HistoryTreeModel* m_model = nullptr;
};

// The History Report command: saves the history first, so that the file and
// the document hold the current list, then shows the dialog modally over a
// copy of the document. A save that failed is told to the user; the report
// still shows the history as it is in memory.
void RunHistoryReport(QWidget* parent, const std::function<bool(std::string& error)>& saveHistory,
                      const std::function<std::string()>& documentText,
                      const DeviceIconSource* icons, MessagePort& messages);

}  // namespace wren
