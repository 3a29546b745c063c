#include "core/history/HistoryTree.h"

#include "core/history/HistoryStore.h"

namespace wren {

std::vector<DeviceRecord> HistoryTree::ReadEntries(XmlDataFile& file) {
  std::vector<DeviceRecord> entries;
  file.ResetPosition();
  if (!file.FindElement(kHistoryRoot)) return entries;
  file.EnterElement();
  while (file.FindElement()) entries.push_back(HistoryStore::ReadEntry(file));
  return entries;
}

std::string HistoryTree::Summary(const DeviceRecord& entry) {
  std::string text;
  text.reserve(entry.m_name.size() + entry.m_type.size() + entry.m_producer.size() +
               entry.m_lastSeen.size() + 3);
  text += entry.m_name;
  text += ' ';
  text += entry.m_type;
  text += ' ';
  text += entry.m_producer;
  text += ' ';
  text += entry.m_lastSeen;
  return text;
}

std::string HistoryTree::ChildText(const DeviceRecord& entry, int child) {
  const std::string* value = nullptr;
  switch (child) {
    case 0:
      value = &entry.m_radioName;
      break;
    case 1:
      value = &entry.m_name;
      break;
    case 2:
      value = &entry.m_type;
      break;
    case 3:
      value = &entry.m_address;
      break;
    case 4:
      value = &entry.m_producer;
      break;
    case 5:
      value = &entry.m_lastSeen;
      break;
    case 6:
      value = &entry.m_lastUsed;
      break;
    case 7:
      value = &entry.m_services;
      break;
    default:
      return {};
  }
  std::string text(kChildLabels[static_cast<std::size_t>(child)]);
  text += *value;
  return text;
}

}  // namespace wren
