#include "core/fleet/FleetConfig.h"

#include "core/fleet/Topics.h"

namespace wren::fleet {

bool ReadFleetConfig(const std::string& commandLineUrl, const platform::SettingsStore* settings,
                     FleetConfig& config, std::string& error) {
  FleetConfig c;
  std::string url = commandLineUrl;
  const bool fromSettings = url.empty();
  if (fromSettings && settings) url = settings->ReadText(kFleetSection, "MqttUrl", "");
  if (url.empty()) {
    config = c;
    return true;
  }
  if (settings) {
    c.connect.user = settings->ReadText(kFleetSection, "MqttUser", "");
    c.connect.password = settings->ReadText(kFleetSection, "MqttPassword", "");
    c.connect.caFile = settings->ReadText(kFleetSection, "MqttCaFile", "");
    c.hostName = settings->ReadText(kFleetSection, "MqttHostName", "");
  }
  platform::MqttConnectOptions parsed = c.connect;
  parsed.user.clear();
  parsed.password.clear();
  if (!ParseMqttUrl(url, parsed, error)) {
    error = (fromSettings ? "the MqttUrl setting: " : "--mqtt: ") + error;
    return false;
  }
  // Credentials in the URL win over the settings' as a pair.
  if (parsed.user.empty()) {
    parsed.user = c.connect.user;
    parsed.password = c.connect.password;
  }
  c.connect = parsed;
  c.enabled = true;
  c.url = std::string(parsed.tls ? "mqtts://" : "mqtt://") + parsed.host + ":" +
          std::to_string(parsed.port);
  config = c;
  return true;
}

}  // namespace wren::fleet
