#include "view/DeviceListView.h"

#include <unordered_set>
#include <utility>

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

}  // namespace

DeviceListView::DeviceListView() : m_historyStore(std::string(kHistoryFileName)) {}

void DeviceListView::ReconcileScan(const DeviceList& scan) {
  RemoveVanishedRows(scan);
  // Each record is copied once, into the history; the rows take its texts.
  for (const DeviceRecord& record : scan) MergeRecord(record);
}

// Every shown device the scan does not report loses the first row with its
// address, and all its m_shownList entries go with it; an address without
// a row stays in m_shownList.
void DeviceListView::RemoveVanishedRows(const DeviceList& scan) {
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

void DeviceListView::UpdateDeviceRow(DeviceRecord record) { MergeRecord(record); }

void DeviceListView::MergeRecord(const DeviceRecord& record) {
  const int n = m_list.RowCount();
  int row = FindDeviceRow(record.m_address);
  MergeHistory(record);

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

  std::string& title = m_titleBuffer;
  title.assign(record.m_radioName).append(" -> ").append(record.m_name);
  if (record.m_isLocalRadio) {
    title += " (local)";
    connectedText = rememberedText = authenticatedText = {};
    connectedImage = rememberedImage = authenticatedImage = kNoImage;
  }

  if (row == -1) {
    row = m_list.InsertRow(n, title, rowImage);
    // A refused row: the record is in the history already, the cells have
    // nowhere to go.
    if (row == -1) return;
  } else {
    SetRowCell(row, 0, title, rowImage);
  }
  SetRowCell(row, 1, record.m_type, record.m_image);
  SetRowCell(row, 2, record.m_address, addressImage);
  SetRowCellText(row, 3, record.m_producer);
  SetRowCellText(row, 4, record.m_lastSeen);
  SetRowCellText(row, 5, record.m_lastUsed);
  SetRowCell(row, 6, connectedText, connectedImage);
  SetRowCell(row, 7, rememberedText, rememberedImage);
  SetRowCell(row, 8, authenticatedText, authenticatedImage);
  SetRowCellText(row, 9, record.m_services);
}

int DeviceListView::FindDeviceRow(std::string_view address) const {
  return m_list.FindRowByAddress(address);
}

void DeviceListView::UpdateHistoryEntry(DeviceRecord record) { MergeHistory(record); }

// Every entry of the address is overwritten; an address not in the history
// goes to the front.
void DeviceListView::MergeHistory(const DeviceRecord& record) {
  auto found = m_historyIndex.find(std::string_view(record.m_address));
  if (found != m_historyIndex.end()) {
    *found->second.first = record;
    for (DeviceList::iterator entry : found->second.more) *entry = record;
    return;
  }
  m_historyList.push_front(record);
  IndexHistoryEntry(m_historyList.begin());
}

void DeviceListView::IndexHistoryEntry(DeviceList::iterator entry) {
  auto [it, added] = m_historyIndex.try_emplace(entry->m_address, EntriesOfAddress{entry, {}});
  if (!added) it->second.more.push_back(entry);
}

void DeviceListView::SetRowCell(int row, int column, std::string_view text, int image) {
  m_list.SetCell(row, column, text, image);
}

void DeviceListView::SetRowCellText(int row, int column, std::string_view text) {
  m_list.SetCellText(row, column, text);
}

void DeviceListView::AppendHistoryEntry(DeviceRecord record) {
  m_historyList.push_back(std::move(record));
  IndexHistoryEntry(std::prev(m_historyList.end()));
}

void DeviceListView::ClearHistory() {
  m_historyIndex.clear();
  m_historyList.clear();
}

HistoryFileCheck DeviceListView::LoadHistory() {
  DeviceList loaded;
  HistoryFileCheck check = m_historyStore.LoadHistory(loaded);
  if (loaded.empty()) return check;
  // Splicing keeps the records where they are, and the iterators with them.
  auto first = loaded.begin();
  m_historyList.splice(m_historyList.end(), loaded);
  for (auto it = first; it != m_historyList.end(); ++it) IndexHistoryEntry(it);
  return check;
}

bool DeviceListView::SaveHistory(std::string* error) {
  return m_historyStore.SaveHistory(m_historyList, error);
}

}  // namespace wren
