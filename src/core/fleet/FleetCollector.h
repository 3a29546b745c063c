#pragma once
// The collector's merge: records that monitors publish, folded into one
// history of the fleet.
//
// One entry per address. A record whose last-seen time is newer than the
// entry's replaces it; an equal time replaces it too (the same sighting,
// reported again with a new name or state); an older one is ignored. A
// record without a readable last-seen time (a local radio) only fills an
// address the history does not hold yet. The Radio text of every entry
// taken from a monitor is "<host>: <radio name>", so the history says which
// workstation saw the device last.
//
// Last-seen times are each monitor's local time; monitors of one fleet are
// expected to share a time zone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/bluetooth/DeviceRecord.h"
#include "core/history/DeviceHistory.h"

namespace wren::fleet {

// Payloads beyond this are refused unread.
inline constexpr std::size_t kMaxRecordPayload = 64 * 1024;

// "%H:%M:%S %m/%d/%Y" as a number that sorts by time (YYYYMMDDhhmmss), or
// -1 when the text is not such a time.
std::int64_t LastSeenKey(std::string_view text);

enum class CollectOutcome {
  Merged,    // the history changed
  NotNewer,  // a valid record, but older than the entry or the same
  Refused,   // not a record of the fleet; `reason` says why
};

class FleetCollector {
public:
  // `history` outlives the collector; the caller loads and saves it.
  explicit FleetCollector(DeviceHistory& history) : m_history(history) {}

  CollectOutcome Collect(std::string_view topic, std::string_view payload, std::string& reason);

  // True when something merged since the last call.
  bool TakeChanged();
  std::uint64_t MergedCount() const { return m_merged; }
  std::uint64_t RefusedCount() const { return m_refused; }

private:
  DeviceHistory& m_history;
  bool m_changed = false;
  std::uint64_t m_merged = 0;
  std::uint64_t m_refused = 0;
};

}  // namespace wren::fleet
