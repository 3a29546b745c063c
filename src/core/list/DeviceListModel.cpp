#include "core/list/DeviceListModel.h"

#include <algorithm>
#include <iterator>

namespace wren {
namespace {

const std::string& EmptyText() {
  static const std::string empty;
  return empty;
}

}  // namespace

std::array<int, kColumnCount> ColumnWidths(int clientWidth) {
  const int w = clientWidth / 10;
  const int r = clientWidth % 10;
  std::array<int, kColumnCount> widths{};
  for (int i = 0; i < kColumnCount - 1; ++i) widths[i] = w + kColumns[i].extraWidth;
  widths[kColumnCount - 1] = r + kColumns[kColumnCount - 1].extraWidth;
  return widths;
}

std::string_view DeviceListModel::ColumnTitle(int column) {
  if (column < 0 || column >= kColumnCount) return {};
  return kColumns[column].title;
}

bool DeviceListModel::IsCell(int row, int column) const {
  return row >= 0 && row < RowCount() && column >= 0 && column < kColumnCount;
}

int DeviceListModel::InsertRow(int position, std::string_view text, int image) {
  if (position < 0) return -1;
  const int row = std::min(position, RowCount());
  std::vector<Row> rows(1);
  // The address cell stays empty, and empty is a key like any other.
  rows[0][0].text.assign(text);
  rows[0][0].image = image;
  return InsertRows(row, std::move(rows)) == 1 ? row : -1;
}

int DeviceListModel::InsertRows(int position, std::vector<Row> rows) {
  if (position < 0) return 0;
  const std::size_t room =
      m_rowLimit > RowCount() ? static_cast<std::size_t>(m_rowLimit - RowCount()) : 0;
  if (rows.size() > room) rows.resize(room);
  if (rows.empty()) return 0;
  const int first = std::min(position, RowCount());
  const int count = static_cast<int>(rows.size());
  const int last = first + count - 1;
  if (m_observer) m_observer->RowsAboutToBeInserted(first, last);
  if (first < RowCount()) IndexShift(first, count);
  for (int i = 0; i < count; ++i)
    IndexAdd(rows[static_cast<std::size_t>(i)][kAddressColumn].text, first + i);
  m_rows.insert(m_rows.begin() + first, std::make_move_iterator(rows.begin()),
                std::make_move_iterator(rows.end()));
  const bool batch = InBatch();
  m_marks.insert(m_marks.begin() + first, rows.size(), batch ? Mark::Inserted : Mark::Clean);
  m_new.insert(m_new.begin() + first, rows.size(), false);
  if (batch) m_marked += rows.size();
  if (m_observer) m_observer->RowsInserted(first, last);
  return count;
}

void DeviceListModel::RowWritten(int row) {
  if (!InBatch()) {
    if (m_observer) m_observer->RowChanged(row);
    return;
  }
  if (m_marks[row] != Mark::Clean) return;
  m_marks[row] = Mark::Changed;
  ++m_marked;
}

void DeviceListModel::EndBatch() {
  if (m_batchDepth == 0 || --m_batchDepth > 0) return;
  if (m_marked == 0) return;
  // Marks are cleared before anyone hears of them, so that an observer
  // reading the model finds it settled.
  std::vector<int> changed;
  for (std::size_t row = 0; row < m_marks.size(); ++row) {
    if (m_marks[row] == Mark::Changed) changed.push_back(static_cast<int>(row));
    m_marks[row] = Mark::Clean;
  }
  m_marked = 0;
  if (!m_observer) return;
  for (int row : changed) m_observer->RowChanged(row);
}

bool DeviceListModel::SetCell(int row, int column, std::string_view text, int image) {
  if (!IsCell(row, column)) return false;
  ListCell& cell = m_rows[row][column];
  const bool changed = cell.text != text || cell.image != image;
  if (column == kAddressColumn && cell.text != text) {
    IndexRemove(cell.text, row);
    IndexAdd(std::string(text), row);
  }
  cell.text.assign(text);
  cell.image = image;
  if (changed) RowWritten(row);
  return true;
}

bool DeviceListModel::SetCellText(int row, int column, std::string_view text) {
  if (!IsCell(row, column)) return false;
  return SetCell(row, column, text, m_rows[row][column].image);
}

bool DeviceListModel::SetRowNew(int row, bool isNew) {
  if (row < 0 || row >= RowCount()) return false;
  if (m_new[row] != isNew) {
    m_new[row] = isNew;
    RowWritten(row);
  }
  return true;
}

bool DeviceListModel::IsRowNew(int row) const { return row >= 0 && row < RowCount() && m_new[row]; }

bool DeviceListModel::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return false;
  if (m_observer) m_observer->RowsAboutToBeRemoved(row, row);
  IndexRemove(m_rows[row][kAddressColumn].text, row);
  m_rows.erase(m_rows.begin() + row);
  if (m_marks[row] != Mark::Clean) --m_marked;
  m_marks.erase(m_marks.begin() + row);
  m_new.erase(m_new.begin() + row);
  if (row < RowCount()) IndexShift(row + 1, -1);
  if (m_observer) m_observer->RowsRemoved(row, row);
  return true;
}

void DeviceListModel::Clear() {
  if (m_observer) m_observer->AboutToReset();
  m_rows.clear();
  m_marks.clear();
  m_new.clear();
  m_marked = 0;
  m_addressIndex.clear();
  if (m_observer) m_observer->Reset();
}

const std::string& DeviceListModel::CellText(int row, int column) const {
  if (!IsCell(row, column)) return EmptyText();
  return m_rows[row][column].text;
}

int DeviceListModel::CellImage(int row, int column) const {
  if (!IsCell(row, column)) return kNoImage;
  return m_rows[row][column].image;
}

int DeviceListModel::FindRowByAddress(std::string_view address) const {
  auto it = m_addressIndex.find(address);
  return it == m_addressIndex.end() ? -1 : it->second.first;
}

void DeviceListModel::IndexAdd(const std::string& address, int row) {
  auto [it, added] = m_addressIndex.try_emplace(address, RowsOfAddress{row, {}});
  if (added) return;
  RowsOfAddress& rows = it->second;
  if (row < rows.first) {
    rows.more.insert(rows.more.begin(), rows.first);
    rows.first = row;
  } else {
    rows.more.insert(std::lower_bound(rows.more.begin(), rows.more.end(), row), row);
  }
}

void DeviceListModel::IndexRemove(const std::string& address, int row) {
  auto it = m_addressIndex.find(address);
  if (it == m_addressIndex.end()) return;
  RowsOfAddress& rows = it->second;
  if (rows.first == row) {
    if (rows.more.empty()) {
      m_addressIndex.erase(it);
      return;
    }
    rows.first = rows.more.front();
    rows.more.erase(rows.more.begin());
    return;
  }
  auto at = std::lower_bound(rows.more.begin(), rows.more.end(), row);
  if (at != rows.more.end() && *at == row) rows.more.erase(at);
}

// Rows from `fromRow` on move by `delta`. Costs a pass over the index, as
// moving the rows themselves costs a pass over the rows; appending, which
// is what a scan does, never comes here.
void DeviceListModel::IndexShift(int fromRow, int delta) {
  for (auto& entry : m_addressIndex) {
    RowsOfAddress& rows = entry.second;
    if (rows.first >= fromRow) rows.first += delta;
    for (int& row : rows.more)
      if (row >= fromRow) row += delta;
  }
}

}  // namespace wren
