#include "program/FleetLink.h"

#include "core/fleet/Topics.h"
#include "base/System.h"
#include "adapters/mqtt/MosquittoClient.h"

namespace wren::platform {

std::unique_ptr<FleetLink> FleetLink::Open(const fleet::FleetConfig& config,
                                           std::function<void(const std::string&)> log,
                                           std::string& error) {
  std::unique_ptr<FleetLink> link(new FleetLink);
  link->m_client = OpenMosquittoClient();
  fleet::PublisherOptions options;
  options.log = std::move(log);
  link->m_publisher = std::make_unique<fleet::FleetPublisher>(
      *link->m_client, fleet::TopicSafeHost(config.hostName.empty() ? HostName() : config.hostName), std::move(options));
  if (!link->m_publisher->Start(config.connect, error)) return nullptr;
  return link;
}

std::string FleetLink::Close(int drainMs) {
  m_publisher->Stop(std::chrono::milliseconds(drainMs));
  return m_publisher->Summary();
}

FleetLink::~FleetLink() {
  if (m_publisher) m_publisher->Stop(std::chrono::milliseconds(0));
}

}  // namespace wren::platform
