#include "view/DeviceListModel.h"

#include <algorithm>

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
  if (position < 0 || RowCount() >= m_rowLimit) return -1;
  const int row = std::min(position, RowCount());
  if (row < RowCount()) IndexShift(row, +1);
  Row cells;
  cells[0].text.assign(text);
  cells[0].image = image;
  m_rows.insert(m_rows.begin() + row, std::move(cells));
  // A new row's address cell is empty, and empty is a key like any other.
  IndexAdd(EmptyText(), row);
  if (m_observer) m_observer->RowInserted(row);
  return row;
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
  if (changed && m_observer) m_observer->CellChanged(row, column);
  return true;
}

bool DeviceListModel::SetCellText(int row, int column, std::string_view text) {
  if (!IsCell(row, column)) return false;
  return SetCell(row, column, text, m_rows[row][column].image);
}

bool DeviceListModel::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return false;
  IndexRemove(m_rows[row][kAddressColumn].text, row);
  m_rows.erase(m_rows.begin() + row);
  if (row < RowCount()) IndexShift(row + 1, -1);
  if (m_observer) m_observer->RowRemoved(row);
  return true;
}

void DeviceListModel::Clear() {
  while (!m_rows.empty()) {
    // From the back, so that an observer sees each removal at a valid index
    // and nothing is shifted.
    const int last = RowCount() - 1;
    IndexRemove(m_rows[last][kAddressColumn].text, last);
    m_rows.pop_back();
    if (m_observer) m_observer->RowRemoved(last);
  }
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
