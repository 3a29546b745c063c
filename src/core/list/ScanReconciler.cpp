#include "core/list/ScanReconciler.h"

#include <array>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace wren {
namespace {

// Images of the device image strip the rows use.
constexpr int kImageDisconnected = 0;
constexpr int kImageConnected = 3;
constexpr int kImageRemembered = 4;
constexpr int kImageAuthenticated = 5;
constexpr int kImageLinkUp = 35;
constexpr int kImageAddressDown = 36;
constexpr int kImageAddressUp = 37;
constexpr int kImageLinkDown = 38;

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Columns that take a record's text only: a rewrite keeps the image the
// cell has, and a new row's cell has none.
constexpr std::array<bool, kColumnCount> kTextOnly{false, false, false, true,  true,
                                                   true,  false, false, false, true};

// What a record's row shows. The texts point into the record, into literals
// and, for column 0, into `title`.
struct RecordCells {
  std::array<std::string_view, kColumnCount> text;
  std::array<int, kColumnCount> image;
};

RecordCells CellsOf(const DeviceRecord& record, std::string& title) {
  const bool connected = record.m_connected != 0;
  const bool remembered = record.m_remembered != 0;
  const bool authenticated = record.m_authenticated != 0;
  const int rowImage = connected ? kImageConnected : kImageDisconnected;
  const int addressImage = connected ? kImageAddressUp : kImageAddressDown;

  std::string_view connectedText = connected ? "Connected" : "Disconnected";
  int connectedImage = connected ? kImageLinkUp : kImageLinkDown;
  std::string_view rememberedText = remembered ? "Remembered" : "Not Remembered";
  int rememberedImage = remembered ? kImageRemembered : kNoImage;
  std::string_view authenticatedText = authenticated ? "Authenticated" : "Not Authenticated";
  int authenticatedImage = authenticated ? kImageAuthenticated : kNoImage;

  title.assign(record.m_radioName).append(" -> ").append(record.m_name);
  if (record.m_isLocalRadio) {
    title += " (local)";
    connectedText = rememberedText = authenticatedText = {};
    connectedImage = rememberedImage = authenticatedImage = kNoImage;
  }
  return {{title, record.m_type, record.m_address, record.m_producer, record.m_lastSeen,
           record.m_lastUsed, connectedText, rememberedText, authenticatedText, record.m_services},
          {rowImage, record.m_image, addressImage, kNoImage, kNoImage, kNoImage, connectedImage,
           rememberedImage, authenticatedImage, kNoImage}};
}

}  // namespace

ScanReconciler::ScanReconciler(DeviceListModel& list, DeviceHistory& history)
    : m_list(list), m_history(history) {}

void ScanReconciler::ReconcileScan(const DeviceList& scan) {
  // The list window hears of each row once per merge, not once per cell.
  DeviceListModel::Batch batch(m_list);
  RemoveVanishedRows(scan);
  AppendNewRows(scan);
  // Each record is copied once, into the history; the rows take its texts.
  for (const DeviceRecord& record : scan) MergeRecord(record);
}

// The records whose address has no row get theirs here, before any record
// is merged: appended in the order of the scan with the cells the record
// gives them, and announced as one insertion rather than one a row. They
// are the rows, in the places, that merging the records one by one would
// append: one for an address the scan reports twice, and none past the
// model's row limit. MergeRecord then finds each by its address.
void ScanReconciler::AppendNewRows(const DeviceList& scan) {
  std::vector<ListRow> rows;
  std::unordered_set<std::string_view, StringHash, std::equal_to<>> appended;
  for (const DeviceRecord& record : scan) {
    if (FindDeviceRow(record.m_address) != -1 || !appended.insert(record.m_address).second)
      continue;
    const RecordCells cells = CellsOf(record, m_titleBuffer);
    ListRow& row = rows.emplace_back();
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      row[c].text.assign(cells.text[c]);
      row[c].image = kTextOnly[c] ? kNoImage : cells.image[c];
    }
  }
  m_list.InsertRows(m_list.RowCount(), std::move(rows));
}

// Every shown device the scan does not report loses the first row with its
// address, and all its m_shownList entries go with it; an address without
// a row stays in m_shownList.
void ScanReconciler::RemoveVanishedRows(const DeviceList& scan) {
  if (m_shownList.empty()) return;
  std::unordered_set<std::string_view, StringHash, std::equal_to<>> scanned;
  for (const DeviceRecord& record : scan) scanned.insert(record.m_address);

  std::vector<std::string> vanished;
  for (const DeviceRecord& shown : m_shownList)
    if (!scanned.contains(shown.m_address)) vanished.push_back(shown.m_address);

  for (const std::string& address : vanished) {
    const int row = FindDeviceRow(address);
    if (row == -1) continue;
    m_list.DeleteRow(row);
    for (auto it = m_shownList.begin(); it != m_shownList.end();)
      it = it->m_address == address ? m_shownList.erase(it) : std::next(it);
  }
}

void ScanReconciler::UpdateDeviceRow(const DeviceRecord& record) {
  DeviceListModel::Batch batch(m_list);
  MergeRecord(record);
}

void ScanReconciler::MergeRecord(const DeviceRecord& record) {
  const int n = m_list.RowCount();
  int row = FindDeviceRow(record.m_address);
  // A local radio is the workstation's own, never a stranger.
  const bool isNew = !record.m_isLocalRadio && m_history.Find(record.m_address) == nullptr &&
                     m_announced.insert(record.m_address).second;
  if (isNew) m_newDevices.push_back(record);
  m_history.Merge(record);

  const RecordCells cells = CellsOf(record, m_titleBuffer);
  if (row == -1) {
    row = m_list.InsertRow(n, cells.text[0], cells.image[0]);
    // A refused row: the record is in the history already, the cells have
    // nowhere to go.
    if (row == -1) return;
  } else {
    m_list.SetCell(row, 0, cells.text[0], cells.image[0]);
  }
  for (int c = 1; c < kColumnCount; ++c) {
    const auto column = static_cast<std::size_t>(c);
    if (kTextOnly[column])
      m_list.SetCellText(row, c, cells.text[column]);
    else
      m_list.SetCell(row, c, cells.text[column], cells.image[column]);
  }
  if (isNew) m_list.SetRowNew(row, true);
}

int ScanReconciler::FindDeviceRow(std::string_view address) const {
  return m_list.FindRowByAddress(address);
}

}  // namespace wren
