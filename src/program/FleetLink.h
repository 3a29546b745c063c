#pragma once
// A monitor's link to the fleet: the Mosquitto client and the publisher
// over it, started from a FleetConfig and stopped (the queue given a few
// seconds to drain) when the link goes.

#include <functional>
#include <memory>
#include <string>

#include "core/fleet/FleetConfig.h"
#include "core/fleet/FleetPublisher.h"

namespace wren::platform {

class FleetLink {
public:
  // Null with `error` when the client cannot start. `log` gets the
  // publisher's lines, from its threads.
  static std::unique_ptr<FleetLink> Open(const fleet::FleetConfig& config,
                                         std::function<void(const std::string&)> log,
                                         std::string& error);
  ~FleetLink();
  FleetLink(const FleetLink&) = delete;
  FleetLink& operator=(const FleetLink&) = delete;

  fleet::FleetPublisher& Publisher() { return *m_publisher; }
  // Drains for up to `drainMs` and stops; the summary line of the run.
  std::string Close(int drainMs = 5000);

private:
  FleetLink() = default;
  std::unique_ptr<MqttClient> m_client;
  std::unique_ptr<fleet::FleetPublisher> m_publisher;
};

}  // namespace wren::platform
