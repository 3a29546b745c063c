#include "program/SessionStart.h"

#include <ostream>

#include "base/System.h"
#include "program/CommandLine.h"
#include "program/StartupChecks.h"

namespace wren {
namespace {

std::unique_ptr<StartedSession> Failed(StartFailure& failure, StartStep step, int status,
                                       std::string message, std::ostream& err) {
  Fail(err, message, status);
  failure = StartFailure{step, status, std::move(message)};
  return nullptr;
}

}  // namespace

std::unique_ptr<StartedSession> StartSession(const SessionRequest& request,
                                             const StackFactory& stacks, StatusSink& status,
                                             std::ostream& err, StartFailure& failure) {
  if (!request.dataDir.empty()) platform::SetDataFolderOverride(request.dataDir);
  auto started = std::make_unique<StartedSession>(err, request.settingsFile);
  std::string error;
  if (int taken = TakeDataFolder(started->folderLock, error); taken != kExitOk)
    return Failed(failure, StartStep::DataFolder, taken, error, err);

  platform::QtHostAdapters& host = started->host;
  SessionFailure built;
  started->session = SessionBuilder(stacks, HostPorts{*host.settings, host.sound, host.messenger,
                                                      host.timer, host.dispatcher, status})
                         .Stack(request.stack)
                         .SteppedClock(request.stepped)
                         .Build(built);
  if (!started->session)
    return Failed(failure, StartStep::Stack,
                  built.kind == StackFailure::Usage ? kExitUsage : kExitFailed, built.message, err);
  if (!started->session->StackNote().empty())
    err << kProgram << ": " << started->session->StackNote() << '\n';
  if (request.announceSimulation && started->session->Simulation())
    err << kProgram << ": " << started->session->Stack().Description()
        << " - a simulation, none of its devices is real\n";

  int fleetStatus = kExitOk;
  if (!started->fleet.Start(*started->session, request.mqttUrl, host.settings.get(), fleetStatus)) {
    failure = StartFailure{StartStep::Fleet, fleetStatus, {}};
    return nullptr;
  }
  return started;
}

}  // namespace wren
