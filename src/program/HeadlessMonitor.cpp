#include "program/HeadlessMonitor.h"

#include "base/Text.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <ostream>

#include "program/CommandLine.h"
#include "program/FleetPublishing.h"
#include "program/SessionStart.h"
#include "program/StopSignals.h"
#include "program/HeadlessOptions.h"
#include "core/monitor/Session.h"
#include "program/StartupChecks.h"
#include "paint/ListPrinterPainter.h"
#include "core/list/ListExporter.h"
#include "base/System.h"
#include "program/HostAdapters.h"

namespace wren {
namespace {

// Status texts and event lines as they happen; lines that only go to the
// log (the start-up line, the history check) as well.
class PrintingStatus : public StatusSink {
public:
  PrintingStatus(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}
  void SetStatusText(const std::string& text) override {
    m_out << OneLine(text) << '\n' << std::flush;
    m_shown = text;
  }
  void OnLogged(const std::string& line, const LogResult& result) override {
    if (line != m_shown) m_out << OneLine(line) << '\n' << std::flush;
    m_shown.clear();
    if (auto notice = m_logHealth.Notice(result)) m_err << kProgram << ": " << *notice << '\n';
  }

private:
  std::ostream& m_out;
  std::ostream& m_err;
  std::string m_shown;
  AlarmLogHealth m_logHealth;
};

// The printed list, through the print engine of the window.
bool ExportPdf(const DeviceListModel& list, const HeadlessOptions& o, std::ostream& out,
               std::string& error) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    error = "printing needs the graphical application object";
    return false;
  }
  if (o.exportPath != "-") return WriteListPdf(o.exportPath, list, {}, error);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  if (!WriteListPdf(buffer, list, {}, error)) return false;
  out.write(buffer.data().constData(), buffer.data().size());
  out.flush();
  return true;
}

bool Export(const DeviceListModel& list, const HeadlessOptions& o, std::ostream& out,
            std::string& error) {
  if (o.exportKind == ExportKind::Pdf) return ExportPdf(list, o, out, error);
  const ReportKind kind = o.exportKind == ExportKind::Xml ? ReportKind::Xml : ReportKind::Text;
  if (o.exportPath == "-") {
    out << (kind == ReportKind::Xml ? ListExporter::BuildXmlReport(list)
                                    : ListExporter::BuildTextReport(list))
        << std::flush;
    return true;
  }
  // The file the user named: a link to a report is followed and stays.
  const std::string report = kind == ReportKind::Xml ? ListExporter::BuildXmlReport(list)
                                                     : ListExporter::BuildTextReport(list);
  return platform::WriteFileAtomically(o.exportPath, report, error,
                                       platform::LinkPolicy::FollowToRegularFile);
}

}  // namespace

int RunHeadless(const std::vector<std::string>& args, const StackFactory& stacks, std::ostream& out,
                std::ostream& err, StopSignals& stopSignals) {
  HeadlessOptions o;
  std::string error;
  if (!ParseHeadlessOptions(args, o, error))
    return Fail(err, error + " (see " + kProgram + " --help)", kExitUsage);
  if (!o.settingsFile.empty() && !SettingsFileUsable(o.settingsFile, error))
    return Fail(err, error + " (see " + kProgram + " --help)", kExitUsage);

  static int argc = 1;
  static char name[] = "wrenlocator";
  static char* argv[] = {name, nullptr};
  std::unique_ptr<QCoreApplication> ownApp;
  if (!QCoreApplication::instance()) {
    if (o.exportKind == ExportKind::Pdf) {
      // Fonts and painting need the graphical application object; without
      // a window it needs no display either.
      if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      ownApp = std::make_unique<QGuiApplication>(argc, argv);
    } else {
      ownApp = std::make_unique<QCoreApplication>(argc, argv);
    }
  }
  PrintingStatus status(out, err);
  const bool stepped = o.simClock == SimClockMode::Stepped;
  StartFailure failure;
  std::unique_ptr<StartedSession> started =
      StartSession(SessionRequest{o.stack, o.dataDir, o.settingsFile, o.mqttUrl, stepped}, stacks,
                   status, err, failure);
  if (!started) return failure.status;
  platform::QtHostAdapters& host = started->host;
  Session* session = started->session.get();
  FleetPublishing& fleet = started->fleet;

  int exitStatus = kExitOk;
  stopSignals.Watch([&] {
    if (!stepped) QCoreApplication::quit();
  });
  if (!session->HistoryCheck().message.empty())
    err << kProgram << ": " << session->HistoryCheck().message << '\n';
  Monitor& frame = session->Monitoring();
  frame.OnCreate();
  {
    // A stop asked for during the start-up ends the run before it begins.
    if (!stopSignals.Stopped()) {
      // No dialog: Run with the stored settings as they are.
      frame.RunMonitoring();
      if (stepped) {
        platform::SimulatedTime& simulation = *session->Simulation();
        ThreadWorkers& workers = session->Workers();
        SteppedHooks hooks{
            [&simulation] { return simulation.NowMs(); },
            [&simulation](std::int64_t ms) { simulation.AdvanceTime(ms); },
            [&simulation] { return simulation.SearchCount(); },
            [] {
              QCoreApplication::sendPostedEvents();
              QCoreApplication::processEvents(QEventLoop::AllEvents);
            },
            [&host] { return host.dispatcher.Pending(); },
            [&workers] { return workers.Running(); },
        };
        SteppedDriver(hooks, *session->SteppedTimer(), session->Tracker()).Run(*o.runForMs, [&] {
          return stopSignals.Stopped();
        });
      } else {
        if (o.runForMs)
          QTimer::singleShot(std::chrono::milliseconds(*o.runForMs),
                             [] { QCoreApplication::quit(); });
        if (!stopSignals.Stopped()) QCoreApplication::exec();
      }
    }
    session->Shutdown();
  }
  fleet.Finish();

  if (!session->SaveHistory(&error)) {
    err << kProgram << ": history.xml not saved: " << error << '\n';
    exitStatus = kExitFailed;
  }
  if (o.exportKind != ExportKind::None && !Export(session->List(), o, out, error)) {
    err << kProgram << ": " << o.exportPath << " not written: " << error << '\n';
    exitStatus = kExitFailed;
  }
  return exitStatus;
}

}  // namespace wren
