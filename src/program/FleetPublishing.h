#pragma once
// A monitor's publishing to the fleet, the same for the headless monitor
// and the window: off unless the command line or the settings name a
// broker; what it has to say goes to the program's error stream.

#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "ports/SettingsStore.h"
#include "program/FleetLink.h"

namespace wren {

class Session;

class FleetPublishing {
public:
  explicit FleetPublishing(std::ostream& err) : m_err(err) {}
  ~FleetPublishing();

  // Reads the broker from `url` (first) or the settings and, when one is
  // named, feeds it the session's event lines and merged records. On a
  // fault: false, a line on the error stream, and the exit status to give.
  bool Start(Session& session, const std::string& url, const platform::SettingsStore* settings,
             int& exitStatus);
  // Stops feeding the session's news, gives the queue a few seconds and
  // tells the run's summary; nothing when publishing is off.
  void Finish();

private:
  void Log(const std::string& line);

  std::ostream& m_err;
  std::mutex m_lock;  // the publisher's threads log too
  Session* m_session = nullptr;
  std::unique_ptr<platform::FleetLink> m_link;
};

}  // namespace wren
