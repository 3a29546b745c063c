#pragma once
// `wrenlocator collect --mqtt URL`: subscribes to every monitor's records
// (wrenlocator/+/devices/+) and keeps one history.xml of the fleet in the
// data folder, merged by FleetCollector's rule. The file is saved when
// something changed, at most once per save interval, and at the end.

#include <functional>
#include <iosfwd>
#include <string>

#include "core/fleet/FleetConfig.h"
#include "ports/MqttClient.h"

namespace wren::fleet {

struct CollectTuning {
  int saveIntervalMs = 2000;
  int pollMs = 100;
};

// The history is loaded from and saved to platform::DataFolder(), which the
// caller has made its own. Runs until `stopRequested` says so, then saves.
// Returns 0, or 1 when the broker refused the credentials, the client
// could not start, or the last save failed.
int RunCollector(const FleetConfig& config, platform::MqttClient& client,
                 const std::function<bool()>& stopRequested, std::ostream& out,
                 std::ostream& err, CollectTuning tuning = {});

}  // namespace wren::fleet
