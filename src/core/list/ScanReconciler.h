#pragma once
// The merge of each finished scan into the rows of the device list and into
// the history of every device seen.
//
// A row is found by its address through the model's column-2 index and a
// history entry through the history's own index; both give the answers of
// a walk from the front, so a scan of n devices costs O(n) rather than
// O(n * rows + n * history).
//
// Threads: everything here runs on the user-interface thread. Scan workers
// hand their finished DeviceList to that thread, which calls ReconcileScan,
// so merges never overlap and a history save never meets a merge.

#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/bluetooth/DeviceRecord.h"
#include "core/history/DeviceHistory.h"
#include "core/list/DeviceListModel.h"

namespace wren {

class ScanReconciler {
public:
  // Both outlive the reconciler.
  ScanReconciler(DeviceListModel& list, DeviceHistory& history);
  ScanReconciler(const ScanReconciler&) = delete;
  ScanReconciler& operator=(const ScanReconciler&) = delete;

  DeviceListModel& Model() { return m_list; }
  const DeviceListModel& Model() const { return m_list; }
  DeviceHistory& History() { return m_history; }

  // Merges one finished scan: rows of devices in ShownList that the scan no
  // longer reports go first, then the records without a row get one, all
  // appended as one run in the order of the scan, and then every record,
  // front to back, rewrites its row and its history entries, all in one
  // batch of the model. The list stays the caller's; copies are kept.
  void ReconcileScan(const DeviceList& scan);
  void UpdateDeviceRow(const DeviceRecord& record);
  int FindDeviceRow(std::string_view address) const;
  void UpdateHistoryEntry(const DeviceRecord& record) { m_history.Merge(record); }

  // Devices that merges since the last call reported for the first time:
  // remote devices whose address was not in the history, each once per run
  // (the history loaded at start counts as seen). Their rows carry the
  // model's new flag.
  std::vector<DeviceRecord> TakeNewDevices() { return std::exchange(m_newDevices, {}); }

  // Devices whose rows go when a scan stops reporting them. Nothing in the
  // program fills it, so vanished devices keep their rows with the values of
  // the last scan that reported them.
  DeviceList& ShownList() { return m_shownList; }

private:
  void RemoveVanishedRows(const DeviceList& scan);
  void AppendNewRows(const DeviceList& scan);
  void MergeRecord(const DeviceRecord& record);

  DeviceListModel& m_list;
  DeviceHistory& m_history;
  DeviceList m_shownList;
  std::vector<DeviceRecord> m_newDevices;
  std::unordered_set<std::string> m_announced;
  std::string m_titleBuffer;  // column 0's text, reused from row to row
};

}  // namespace wren
