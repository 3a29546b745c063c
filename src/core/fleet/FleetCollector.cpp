#include "core/fleet/FleetCollector.h"

#include "core/fleet/DeviceJson.h"
#include "core/fleet/Topics.h"

namespace wren::fleet {
namespace {

bool TakeNumber(std::string_view text, std::size_t at, std::size_t digits, int& value) {
  value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::int64_t LastSeenKey(std::string_view t) {
  // 0123456789012345678
  // hh:mm:ss mm/dd/yyyy
  if (t.size() != 19 || t[2] != ':' || t[5] != ':' || t[8] != ' ' || t[11] != '/' ||
      t[14] != '/')
    return -1;
  int hour, minute, second, month, day, year;
  if (!TakeNumber(t, 0, 2, hour) || !TakeNumber(t, 3, 2, minute) ||
      !TakeNumber(t, 6, 2, second) || !TakeNumber(t, 9, 2, month) || !TakeNumber(t, 12, 2, day) ||
      !TakeNumber(t, 15, 4, year))
    return -1;
  if (hour > 23 || minute > 59 || second > 60 || month < 1 || month > 12 || day < 1 || day > 31)
    return -1;
  return ((((static_cast<std::int64_t>(year) * 100 + month) * 100 + day) * 100 + hour) * 100 +
          minute) *
             100 +
         second;
}

CollectOutcome FleetCollector::Collect(std::string_view topic, std::string_view payload,
                                       std::string& reason) {
  auto refuse = [&](std::string why) {
    reason = std::move(why);
    ++m_refused;
    return CollectOutcome::Refused;
  };
  std::string host, address;
  if (!ParseDeviceTopic(topic, host, address, reason)) return refuse(reason);
  if (payload.size() > kMaxRecordPayload)
    return refuse("a payload of " + std::to_string(payload.size()) + " bytes, more than " +
                  std::to_string(kMaxRecordPayload) + " a record may take");
  DeviceRecord record;
  if (!ParseDeviceJson(payload, record, reason)) return refuse("not a device record: " + reason);
  if (record.m_address != address)
    return refuse("the record's address " + record.m_address.substr(0, 40) +
                  " is not the topic's");

  const std::int64_t incoming = LastSeenKey(record.m_lastSeen);
  if (const DeviceRecord* held = m_history.Find(address)) {
    const std::int64_t current = LastSeenKey(held->m_lastSeen);
    if (incoming < 0 || incoming < current) return CollectOutcome::NotNewer;
  }
  record.m_radioName = host + ": " + record.m_radioName;
  if (const DeviceRecord* held = m_history.Find(address)) {
    // Stored fields alone: the same entry again changes nothing on disk.
    if (held->m_radioName == record.m_radioName && held->m_name == record.m_name &&
        held->m_producer == record.m_producer && held->m_lastSeen == record.m_lastSeen &&
        held->m_lastUsed == record.m_lastUsed && held->m_type == record.m_type &&
        held->m_services == record.m_services && held->m_image == record.m_image)
      return CollectOutcome::NotNewer;
  }
  m_history.Merge(record);
  m_changed = true;
  ++m_merged;
  return CollectOutcome::Merged;
}

bool FleetCollector::TakeChanged() {
  const bool changed = m_changed;
  m_changed = false;
  return changed;
}

}  // namespace wren::fleet
