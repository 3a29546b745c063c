#pragma once
// The device list view's state without its window: the rows, the history
// of every device seen, and the merge of each finished scan into both.
//
// A row is found by its address through the model's column-2 index, and a
// history entry through an address index over the history list that holds
// every entry of an address (a file read in may carry duplicates, and the
// merge overwrites all of them). Both give the answers of a walk from the
// front, so a scan of n devices costs O(n) rather than O(n * rows +
// n * history).
//
// Threads: everything here runs on the user-interface thread. Scan workers
// hand their finished DeviceList to that thread, which calls ReconcileScan,
// so merges never overlap and a history save never meets a merge.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bluetooth/DeviceRecord.h"
#include "history/HistoryStore.h"
#include "view/DeviceListModel.h"

namespace wren {

class DeviceListView {
public:
  DeviceListView();
  DeviceListView(const DeviceListView&) = delete;
  DeviceListView& operator=(const DeviceListView&) = delete;

  DeviceListModel& Model() { return m_list; }
  const DeviceListModel& Model() const { return m_list; }

  // Merges one finished scan: rows of devices in m_shownList that the scan
  // no longer reports go first, then every record, front to back, rewrites
  // its row (or appends one) and its history entries. The list stays the
  // caller's; the view keeps copies.
  void ReconcileScan(const DeviceList& scan);
  void UpdateDeviceRow(DeviceRecord record);
  int FindDeviceRow(std::string_view address) const;
  void UpdateHistoryEntry(DeviceRecord record);
  // Text and image of one cell; SetRowCellText leaves the image alone.
  void SetRowCell(int row, int column, std::string_view text, int image);
  void SetRowCellText(int row, int column, std::string_view text);

  // Every device seen, the most recently first-seen at the front.
  const DeviceList& HistoryList() const { return m_historyList; }
  // Adds an entry at the end, as the history file's load does.
  void AppendHistoryEntry(DeviceRecord record);
  void ClearHistory();

  // Devices whose rows go when a scan stops reporting them. Nothing in the
  // program fills it, so vanished devices keep their rows with the values of
  // the last scan that reported them.
  DeviceList& ShownList() { return m_shownList; }

  // history.xml in the data folder, through the view's own data file.
  HistoryStore& History() { return m_historyStore; }
  // Appends the file's entries to the history list (see HistoryStore).
  HistoryFileCheck LoadHistory();
  bool SaveHistory(std::string* error = nullptr);

private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // The history entries of one address: nearly always one, kept in place.
  struct EntriesOfAddress {
    DeviceList::iterator first;
    std::vector<DeviceList::iterator> more;
  };
  using HistoryIndex = std::unordered_map<std::string, EntriesOfAddress, Hash, std::equal_to<>>;

  void IndexHistoryEntry(DeviceList::iterator entry);

  void RemoveVanishedRows(const DeviceList& scan);
  void MergeRecord(const DeviceRecord& record);
  void MergeHistory(const DeviceRecord& record);

  DeviceListModel m_list;
  DeviceList m_shownList;
  DeviceList m_historyList;
  HistoryIndex m_historyIndex;
  HistoryStore m_historyStore;
  std::string m_titleBuffer;  // column 0's text, reused from row to row
};

}  // namespace wren
