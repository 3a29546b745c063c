#pragma once
// Where a monitor publishes: --mqtt URL, else the settings.
//
//   [Settings] MqttUrl       mqtt://host[:port] or mqtts://host[:port]; empty: off
//   [Settings] MqttUser      user name, when the URL gives none
//   [Settings] MqttPassword  password, when the URL gives none
//   [Settings] MqttCaFile    CA certificates (PEM) for mqtts://; empty: the system's
//   [Settings] MqttHostName  the name this monitor publishes as; empty: the host name

#include <string>

#include "ports/SettingsStore.h"
#include "ports/MqttClient.h"

namespace wren::fleet {

inline constexpr const char* kFleetSection = "Settings";

struct FleetConfig {
  bool enabled = false;
  std::string url;  // without credentials, for messages
  std::string hostName;  // [Settings] MqttHostName: the name to publish as; "": the host's
  platform::MqttConnectOptions connect;
};

// False with a one-line `error` when the URL in use is malformed.
bool ReadFleetConfig(const std::string& commandLineUrl, const platform::SettingsStore* settings,
                     FleetConfig& config, std::string& error);

}  // namespace wren::fleet
