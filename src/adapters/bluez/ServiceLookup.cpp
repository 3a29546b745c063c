#include "adapters/bluez/ServiceLookup.h"

#include <utility>

#include "adapters/bluez/ServiceCache.h"

namespace wren::bluez {

bool ServiceLookup::LookUp(const std::vector<platform::BluetoothAddress>& radios,
                           platform::BluetoothAddress device,
                           std::vector<platform::ServiceRecord>& records, std::stop_token cancel) {
  std::vector<platform::ServiceRecord> found;
  const SdpClient::Result result =
      m_sdp.Query(radios.empty() ? 0 : radios.front(), device, found, cancel);
  if (result == SdpClient::Result::Cancelled) return false;
  if (result == SdpClient::Result::Ok) {
    for (auto& r : found) records.push_back(std::move(r));
    return true;
  }
  // Not reachable now: what BlueZ kept from an earlier exchange.
  for (platform::BluetoothAddress radio : radios) {
    if (ReadCachedRecords(m_cacheRoot, radio, device, found)) {
      for (auto& r : found) records.push_back(std::move(r));
      return true;
    }
  }
  return false;
}

}  // namespace wren::bluez
