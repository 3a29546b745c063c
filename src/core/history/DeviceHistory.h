#pragma once
// Every device the program has shown, across runs: the history list, an
// index from address to its entries, and history.xml through one
// HistoryStore.
//
// The index holds every entry of an address (a file read in may carry
// duplicates, and a merge overwrites all of them), so finding a device's
// entries costs a hash look-up and gives the answer of a walk from the front.
//
// Threads: used by the user-interface thread only.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/bluetooth/DeviceRecord.h"
#include "core/history/HistoryStore.h"

namespace wren {

class DeviceHistory {
public:
  explicit DeviceHistory(std::string fileName = std::string(kHistoryFileName));
  DeviceHistory(const DeviceHistory&) = delete;
  DeviceHistory& operator=(const DeviceHistory&) = delete;

  // Every device seen, the most recently first-seen at the front.
  const DeviceList& List() const { return m_list; }
  std::size_t Size() const { return m_list.size(); }

  // Overwrites every entry of the record's address; an address not in the
  // history goes to the front.
  void Merge(const DeviceRecord& record);
  // Adds an entry at the end, as the file's load does.
  void Append(DeviceRecord record);
  void Clear();
  // The first entry of `address` (byte for byte), or null.
  const DeviceRecord* Find(std::string_view address) const;

  // Opens history.xml (keeping an unreadable file aside, see HistoryStore)
  // and appends its entries to the list.
  HistoryFileCheck Load();
  bool Save(std::string* error = nullptr);
  HistoryStore& Store() { return m_store; }

private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // The entries of one address: nearly always one, kept in place.
  struct EntriesOfAddress {
    DeviceList::iterator first;
    std::vector<DeviceList::iterator> more;
  };
  using Index = std::unordered_map<std::string, EntriesOfAddress, Hash, std::equal_to<>>;

  void IndexEntry(DeviceList::iterator entry);

  DeviceList m_list;
  Index m_index;
  HistoryStore m_store;
};

}  // namespace wren
