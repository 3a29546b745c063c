#include "core/history/DeviceHistory.h"

#include <utility>

namespace wren {

DeviceHistory::DeviceHistory(std::string fileName) : m_store(std::move(fileName)) {}

void DeviceHistory::Merge(const DeviceRecord& record) {
  auto found = m_index.find(std::string_view(record.m_address));
  if (found != m_index.end()) {
    *found->second.first = record;
    for (DeviceList::iterator entry : found->second.more) *entry = record;
    return;
  }
  m_list.push_front(record);
  IndexEntry(m_list.begin());
}

void DeviceHistory::Append(DeviceRecord record) {
  m_list.push_back(std::move(record));
  IndexEntry(std::prev(m_list.end()));
}

void DeviceHistory::Clear() {
  m_index.clear();
  m_list.clear();
}

const DeviceRecord* DeviceHistory::Find(std::string_view address) const {
  auto found = m_index.find(address);
  return found == m_index.end() ? nullptr : &*found->second.first;
}

void DeviceHistory::IndexEntry(DeviceList::iterator entry) {
  auto [it, added] = m_index.try_emplace(entry->m_address, EntriesOfAddress{entry, {}});
  if (!added) it->second.more.push_back(entry);
}

HistoryFileCheck DeviceHistory::Load() {
  DeviceList loaded;
  HistoryFileCheck check = m_store.LoadHistory(loaded);
  if (loaded.empty()) return check;
  // Splicing keeps the records where they are, and the iterators with them.
  auto first = loaded.begin();
  m_list.splice(m_list.end(), loaded);
  for (auto it = first; it != m_list.end(); ++it) IndexEntry(it);
  return check;
}

bool DeviceHistory::Save(std::string* error) { return m_store.SaveHistory(m_list, error); }

}  // namespace wren
