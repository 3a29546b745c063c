#pragma once
// A device's service records on BlueZ: asked over SDP when the device
// answers, otherwise what BlueZ kept from an earlier exchange.

#include <stop_token>
#include <string>
#include <vector>

#include "ports/BluetoothStack.h"
#include "adapters/bluez/SdpClient.h"

namespace wren::bluez {

class ServiceLookup {
public:
  ServiceLookup(const std::string& sdpLibrary, std::string recordCacheRoot)
      : m_sdp(sdpLibrary), m_cacheRoot(std::move(recordCacheRoot)) {}

  // `radios`: the local radios to ask through, the device's own first.
  bool LookUp(const std::vector<platform::BluetoothAddress>& radios,
              platform::BluetoothAddress device, std::vector<platform::ServiceRecord>& records,
              std::stop_token cancel);

private:
  SdpClient m_sdp;
  std::string m_cacheRoot;
};

}  // namespace wren::bluez
