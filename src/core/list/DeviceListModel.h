#pragma once
// The rows of the device list, free of any window toolkit: one row per
// device address, ten cells of text and image each. The list window shows
// this model and follows it through a DeviceListObserver, which hears of
// an insertion or removal both before and after it, as a toolkit's table
// model must.
//
// Column 2 holds the address and identifies the row. The model keeps an
// index from column-2 text to rows, so that finding a device's row costs a
// hash look-up instead of a pass over the rows; FindRowByAddress answers
// exactly what reading column 2 of every row in order would answer.
//
// Not thread-safe: the model lives on the user-interface thread.

#include <array>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wren {

inline constexpr int kColumnCount = 10;
inline constexpr int kAddressColumn = 2;
inline constexpr int kNoImage = -1;

struct ColumnInfo {
  std::string_view title;
  int headerImage;  // index into the device image strip
  int extraWidth;   // see ColumnWidths
};

// The columns in creation order; exports and printing use this order
// whatever order the user has dragged them into.
inline constexpr std::array<ColumnInfo, kColumnCount> kColumns{{
    {"Radio-Device", 24, 50},
    {"Type", 25, 50},
    {"Address", 20, 20},
    {"Producer", 33, 120},
    {"LastSeenTime", 27, 20},
    {"LastUsedTime", 27, 20},
    {"Connected", 8, 0},
    {"Remembered", 4, 0},
    {"Authenticated", 5, 0},
    {"Services", 21, 500},
}};

// Column widths for a list client area `clientWidth` pixels wide: a tenth of
// the width plus each column's extra, except Services, which gets the
// remainder of that division plus its extra. Wider than the client area
// together, so the list always scrolls sideways.
std::array<int, kColumnCount> ColumnWidths(int clientWidth);

struct ListCell {
  std::string text;
  int image = kNoImage;
};

// The cells of one row, by column.
using ListRow = std::array<ListCell, kColumnCount>;

// Told about every change. Rows first..last (inclusive) are announced
// before an insertion or removal, while the model still has its old rows,
// and again after it. RowChanged comes only when a write changed a cell's
// text or image: at once outside a batch, once per row at the end of one.
class DeviceListObserver {
public:
  virtual ~DeviceListObserver() = default;
  virtual void RowsAboutToBeInserted(int first, int last) = 0;
  virtual void RowsInserted(int first, int last) = 0;
  virtual void RowsAboutToBeRemoved(int first, int last) = 0;
  virtual void RowsRemoved(int first, int last) = 0;
  virtual void RowChanged(int row) = 0;
  virtual void AboutToReset() = 0;  // Clear()
  virtual void Reset() = 0;
};

class DeviceListModel {
public:
  DeviceListModel() = default;
  DeviceListModel(const DeviceListModel&) = delete;
  DeviceListModel& operator=(const DeviceListModel&) = delete;

  int RowCount() const { return static_cast<int>(m_rows.size()); }

  // Inserts a row before `position` (a position past the end appends) with
  // column 0 set to `text` and `image`; the other cells are empty without
  // image. Returns the new row's index, or -1 for a negative position or a
  // full list (see SetRowLimit).
  int InsertRow(int position, std::string_view text, int image);
  // Inserts `rows` before `position` (a position past the end appends) as
  // one run, in their order and with their cells, and announces the run as
  // one range. Rows that would pass the row limit are refused, the last
  // ones first. Returns how many went in: 0 for a negative position too.
  int InsertRows(int position, std::vector<ListRow> rows);

  // Text and image of one cell; false for a cell that does not exist.
  bool SetCell(int row, int column, std::string_view text, int image);
  // Text only: the cell keeps the image it had.
  bool SetCellText(int row, int column, std::string_view text);

  bool DeleteRow(int row);
  // Every row goes; the observer hears one reset.
  void Clear();

  // Inside a batch (batches nest) cell writes only mark their row; the end
  // of the outermost batch sends one RowChanged per marked row, ascending.
  // Rows inserted during the batch are announced by their insertion only.
  // Insertions and removals are announced at once, batch or not.
  void BeginBatch() { ++m_batchDepth; }
  void EndBatch();
  bool InBatch() const { return m_batchDepth > 0; }

  // A batch for a scope.
  class Batch {
  public:
    explicit Batch(DeviceListModel& model) : m_model(model) { m_model.BeginBatch(); }
    ~Batch() { m_model.EndBatch(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

  private:
    DeviceListModel& m_model;
  };

  // Empty text and no image for a cell that does not exist.
  const std::string& CellText(int row, int column) const;
  int CellImage(int row, int column) const;
  // The row's own image is the image of column 0.
  int ItemImage(int row) const { return CellImage(row, 0); }
  const std::string& AddressText(int row) const { return CellText(row, kAddressColumn); }

  // Whether the row's device was never seen before this run reported it
  // (see ScanReconciler). A change counts as a write to the row. False for
  // a row that does not exist; new rows start without it.
  bool SetRowNew(int row, bool isNew);
  bool IsRowNew(int row) const;

  // The first row whose column-2 text equals `address` byte for byte, or -1.
  int FindRowByAddress(std::string_view address) const;

  static std::string_view ColumnTitle(int column);

  // Rows beyond this many are refused by InsertRow and InsertRows (default:
  // no limit).
  void SetRowLimit(int limit) { m_rowLimit = limit; }

  // One observer at most; nullptr detaches it. Not owned.
  void SetObserver(DeviceListObserver* observer) { m_observer = observer; }

private:
  using Row = ListRow;

  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // The rows holding one column-2 text: nearly always just one, kept in
  // place so a look-up touches no further memory.
  struct RowsOfAddress {
    int first;              // the lowest row
    std::vector<int> more;  // the others, ascending
  };
  using AddressIndex = std::unordered_map<std::string, RowsOfAddress, Hash, std::equal_to<>>;

  // What a batch knows of a row.
  enum class Mark : unsigned char { Clean, Changed, Inserted };

  bool IsCell(int row, int column) const;
  void RowWritten(int row);
  void IndexAdd(const std::string& address, int row);
  void IndexRemove(const std::string& address, int row);
  void IndexShift(int fromRow, int delta);

  std::vector<Row> m_rows;
  std::vector<Mark> m_marks;  // beside m_rows, row for row
  std::vector<bool> m_new;    // beside m_rows, row for row
  std::size_t m_marked = 0;   // rows not Clean
  int m_batchDepth = 0;
  AddressIndex m_addressIndex;
  int m_rowLimit = std::numeric_limits<int>::max();
  DeviceListObserver* m_observer = nullptr;
};

}  // namespace wren
