#pragma once
// The one start of a monitoring session, the window's and the headless
// monitor's alike: the data folder taken (nothing in it is touched before
// it is ours), the host's Qt adapters made, the session built on the chosen
// stack, and the fleet publishing started when a broker is named.

#include <iosfwd>
#include <memory>
#include <string>

#include "core/monitor/Session.h"
#include "adapters/posix/DataFolderLock.h"
#include "program/FleetPublishing.h"
#include "program/HostAdapters.h"
#include "program/StackFactory.h"

namespace wren {

struct SessionRequest {
  std::string stack;         // --stack
  std::string dataDir;       // --data-dir; "" keeps the program's folder
  std::string settingsFile;  // --settings; "" for the user's settings
  std::string mqttUrl;       // --mqtt; "" leaves it to the settings
  bool stepped = false;      // --sim-clock stepped
  // Says on the error stream too that a simulation runs (the window, whose
  // status bar is not a terminal's).
  bool announceSimulation = false;
};

// What a started session holds, in the order it was made; it goes in the
// reverse order.
struct StartedSession {
  explicit StartedSession(std::ostream& err, const std::string& settingsFile)
      : host(settingsFile), fleet(err) {}

  platform::DataFolderLock folderLock;
  platform::QtHostAdapters host;
  std::unique_ptr<Session> session;
  FleetPublishing fleet;
};

enum class StartStep { DataFolder, Stack, Fleet };

struct StartFailure {
  StartStep step = StartStep::DataFolder;
  int status = 0;       // the exit status to give
  std::string message;  // one line, already written to the error stream
};

// Starts a session whose status texts go to `status`; its notes and
// failures are written to `err` as "wrenlocator: ..." lines. Null, with
// `failure` saying where and why, when it could not start.
std::unique_ptr<StartedSession> StartSession(const SessionRequest& request,
                                             const StackFactory& stacks, StatusSink& status,
                                             std::ostream& err, StartFailure& failure);

}  // namespace wren
