#pragma once
// The history report's texts: one summary line per history entry, in file
// order, and under it eight "Label:value" lines. The history dialog shows
// them as a tree and `wrenlocator history` prints them.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/bluetooth/DeviceRecord.h"
#include "core/datafile/XmlDataFile.h"

namespace wren {

class HistoryTree {
public:
  static constexpr int kChildCount = 8;
  // Every child line shows this image of the device image strip.
  static constexpr int kChildImage = 34;
  static constexpr std::array<std::string_view, kChildCount> kChildLabels{
      "Radio:",    "Name:",         "Type:",         "Address:",
      "Producer:", "LastSeenTime:", "LastUsedTime:", "Services:"};

  // Every child of `file`'s "dataroot" element, whatever its own name, with
  // the nine entry attributes; none when there is no "dataroot".
  static std::vector<DeviceRecord> ReadEntries(XmlDataFile& file);

  // "%s %s %s %s" of name, type, producer and last-seen time: an empty part
  // leaves its space in place.
  static std::string Summary(const DeviceRecord& entry);
  // Child `child` (0 to 7): its label with the value right after it.
  static std::string ChildText(const DeviceRecord& entry, int child);
};

}  // namespace wren
