#include "program/FleetPublishing.h"

#include "base/Text.h"

#include "program/CommandLine.h"
#include "core/monitor/Session.h"
#include "core/fleet/FleetConfig.h"

namespace wren {
namespace {}  // namespace

FleetPublishing::~FleetPublishing() { Finish(); }

bool FleetPublishing::Start(Session& session, const std::string& url,
                            const platform::SettingsStore* settings, int& exitStatus) {
  fleet::FleetConfig config;
  std::string error;
  if (!fleet::ReadFleetConfig(url, settings, config, error)) {
    m_err << kProgram << ": " << error << " (see " << kProgram << " --help)\n";
    exitStatus = kExitUsage;
    return false;
  }
  if (!config.enabled) return true;
  m_link = platform::FleetLink::Open(
      config, [this](const std::string& line) { Log(line); }, error);
  if (!m_link) {
    m_err << kProgram << ": mqtt: " << error << '\n';
    exitStatus = kExitFailed;
    return false;
  }
  fleet::FleetPublisher& publisher = m_link->Publisher();
  m_session = &session;
  session.SetObservers(
      {[&publisher](const std::string& line) { publisher.PublishEvent(OneLine(line)); },
       [&publisher](const DeviceRecord& record) { publisher.PublishRecord(record); }});
  return true;
}

void FleetPublishing::Finish() {
  if (!m_link) return;
  m_session->SetObservers({});
  Log(m_link->Close());
  m_link.reset();
}

void FleetPublishing::Log(const std::string& line) {
  std::lock_guard lock(m_lock);
  m_err << kProgram << ": mqtt: " << line << '\n' << std::flush;
}

}  // namespace wren
