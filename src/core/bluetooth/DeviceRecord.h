#pragma once
// One local radio or remote device as a scan found it, with the display
// texts derived once at scan time, and the ordered list that holds them.

#include <cstdint>
#include <list>
#include <string>
#include <string_view>

namespace wren {

struct DeviceRecord {
  std::string m_radioName;
  std::string m_name;
  std::string m_address;  // "%02X:%02X:%02X:%02X:%02X:%02X"; the identity
  std::string m_producer;
  std::string m_lastSeen;  // local "%H:%M:%S %m/%d/%Y"; empty for radios
  std::string m_lastUsed;
  std::string m_type;
  std::string m_services;
  std::uint32_t m_classOfDevice = 0;
  std::int32_t m_connected = 1;
  std::int32_t m_remembered = 1;
  std::int32_t m_authenticated = 1;
  std::int32_t m_image = 6;
  std::int32_t m_isLocalRadio = 0;
  // What a Bluetooth LE device reported, for reports that show it; not
  // kept in the history. "" / -1 when not reported.
  std::string m_addressType;       // "public" or "random"
  std::int32_t m_appearance = -1;  // 0..0xFFFF
  std::int32_t m_companyId = -1;   // the first manufacturer data's company
};

// Same device = same address text, byte for byte (letter case counts).
inline bool IsSameDevice(const DeviceRecord& a, const DeviceRecord& b) {
  return a.m_address == b.m_address;
}

// Insertion order, duplicates allowed. A list keeps iterators stable, which
// the address indexes of the view and the history rely on.
using DeviceList = std::list<DeviceRecord>;

// The first element whose address equals `address`, or end().
inline DeviceList::iterator FindDevice(DeviceList& list, std::string_view address) {
  for (auto it = list.begin(); it != list.end(); ++it)
    if (it->m_address == address) return it;
  return list.end();
}

}  // namespace wren
