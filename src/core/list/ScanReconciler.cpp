#include "core/list/ScanReconciler.h"

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

}  // namespace

ScanReconciler::ScanReconciler(DeviceListModel& list, DeviceHistory& history)
    : m_list(list), m_history(history) {}

void ScanReconciler::ReconcileScan(const DeviceList& scan) {
  // The list window hears of each row once per merge, not once per cell.
  DeviceListModel::Batch batch(m_list);
  RemoveVanishedRows(scan);
  // Each record is copied once, into the history; the rows take its texts.
  for (const DeviceRecord& record : scan) MergeRecord(record);
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
    m_list.SetCell(row, 0, title, rowImage);
  }
  m_list.SetCell(row, 1, record.m_type, record.m_image);
  m_list.SetCell(row, 2, record.m_address, addressImage);
  m_list.SetCellText(row, 3, record.m_producer);
  m_list.SetCellText(row, 4, record.m_lastSeen);
  m_list.SetCellText(row, 5, record.m_lastUsed);
  m_list.SetCell(row, 6, connectedText, connectedImage);
  m_list.SetCell(row, 7, rememberedText, rememberedImage);
  m_list.SetCell(row, 8, authenticatedText, authenticatedImage);
  m_list.SetCellText(row, 9, record.m_services);
  if (isNew) m_list.SetRowNew(row, true);
}

int ScanReconciler::FindDeviceRow(std::string_view address) const {
  return m_list.FindRowByAddress(address);
}

}  // namespace wren
