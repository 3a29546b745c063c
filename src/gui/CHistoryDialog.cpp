#include "gui/CHistoryDialog.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

#include "gui/DeviceImageStrip.h"
#include "gui/ReportCommands.h"
#include "core/history/HistoryTree.h"
#include "core/datafile/XmlDataFile.h"
#include "core/print/ListPrinter.h"

namespace wren {
namespace {

// Top-level items carry 0 as their internal id, children their parent's
// row + 1.
constexpr quintptr kTopLevel = 0;

QString Shown(const std::string& text) {
  const std::size_t limit = HistoryTreeModel::kShownLength;
  if (text.size() <= limit)
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(limit)).append(QChar(0x2026));
}

}  // namespace

int StripIconSource::Count() const { return DeviceImageStrip::kCount; }

QIcon StripIconSource::Icon(int index) const { return m_strip.Icon(index); }

HistoryTreeModel::HistoryTreeModel(std::vector<DeviceRecord> entries, const DeviceIconSource* icons,
                                   QObject* parent)
    : QAbstractItemModel(parent), m_entries(std::move(entries)), m_icons(icons) {}

QModelIndex HistoryTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) {
    if (row >= static_cast<int>(m_entries.size())) return {};
    return createIndex(row, 0, kTopLevel);
  }
  if (parent.internalId() != kTopLevel || row >= HistoryTree::kChildCount) return {};
  return createIndex(row, 0, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex HistoryTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == kTopLevel) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, kTopLevel);
}

int HistoryTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(m_entries.size());
  return parent.internalId() == kTopLevel && parent.column() == 0 ? HistoryTree::kChildCount : 0;
}

int HistoryTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool HistoryTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant HistoryTreeModel::IconAt(int image) const {
  if (!m_icons || image < 0 || image >= m_icons->Count()) return {};
  return m_icons->Icon(image);
}

QVariant HistoryTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const bool top = index.internalId() == kTopLevel;
  const std::size_t entry = top ? static_cast<std::size_t>(index.row()) : index.internalId() - 1;
  if (entry >= m_entries.size()) return {};
  const DeviceRecord& record = m_entries[entry];
  switch (role) {
    case Qt::DisplayRole:
      return top ? Shown(HistoryTree::Summary(record))
                 : Shown(HistoryTree::ChildText(record, index.row()));
    case Qt::DecorationRole:
      return IconAt(top ? record.m_image : HistoryTree::kChildImage);
    default:
      return {};
  }
}

CHistoryDialog::CHistoryDialog(const std::string& documentText, const DeviceIconSource* icons,
                               QWidget* parent)
    : QDialog(parent) {
  setObjectName("historyDialog");
  setWindowTitle("History Dialog");

  XmlDataFile file;
  file.SetText(documentText);
  m_model = new HistoryTreeModel(HistoryTree::ReadEntries(file), icons, this);

  m_tree = new QTreeView(this);
  m_tree->setObjectName("historyTree");
  m_tree->setHeaderHidden(true);
  m_tree->setRootIsDecorated(true);
  m_tree->setUniformRowHeights(true);
  m_tree->setAllColumnsShowFocus(true);
  m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_tree->setIconSize(QSize(16, 15));
  m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_tree->header()->setStretchLastSection(false);
  m_tree->setModel(m_model);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_tree);

  // 438 by 310 dialog units: a quarter of the average character width and
  // an eighth of the line height each.
  const QFontMetrics metrics(font());
  const QString sample = QString::fromLatin1(ListPrinter::kWidthSample.data(),
                                             static_cast<int>(ListPrinter::kWidthSample.size()));
  const int average = metrics.horizontalAdvance(sample) / static_cast<int>(sample.size());
  resize(438 * average / 4, 310 * metrics.height() / 8);
}

void RunHistoryReport(QWidget* parent, const std::function<bool(std::string& error)>& saveHistory,
                      const std::function<std::string()>& documentText,
                      const DeviceIconSource* icons, MessagePort& messages) {
  std::string error;
  if (saveHistory && !saveHistory(error))
    messages.ShowError("History Report", "The history could not be saved: " + error + ".");
  CHistoryDialog dialog(documentText ? documentText() : std::string(), icons, parent);
  dialog.exec();
}

}  // namespace wren
