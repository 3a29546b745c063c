#include "app/HeadlessMonitor.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <ostream>

#include "app/CommandLine.h"
#include "app/HeadlessOptions.h"
#include "app/MainFrame.h"
#include "app/SteppedTime.h"
#include "app/ThreadWorkers.h"
#include "gui/ListPrinterPainter.h"
#include "history/HistoryStore.h"
#include "history/ListExporter.h"
#include "platform/DataFolderLock.h"
#include "platform/FileBackup.h"
#include "platform/NetbiosMessenger.h"
#include "platform/System.h"
#include "platform/qt/QtDispatcher.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtSoundOutput.h"
#include "platform/qt/QtTimer.h"
#include "platform/sim/Scenario.h"
#include "platform/sim/SimulatedStack.h"
#include "view/DeviceListView.h"

namespace wren::app {
namespace {

constexpr const char* kProgram = "wrenlocator";

int Fail(std::ostream& err, const std::string& message, int status) {
  err << kProgram << ": " << message << '\n';
  return status;
}

// One event per output line, whatever a device name holds.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

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

// Run without a dialog: the stored settings as they are.
class StoredSettings : public RunDialog {
public:
  int DoModal(SearchParamsModel&) override { return kDialogRun; }
};

class ViewMerge : public ScanConsumer {
public:
  explicit ViewMerge(DeviceListView& view) : m_view(view) {}
  void ReconcileScan(const DeviceList& scan) override { m_view.ReconcileScan(scan); }

private:
  DeviceListView& m_view;
};

// The event lines' time is the simulation's, so that its devices' times and
// its events agree.
class SimulationClock : public platform::Clock {
public:
  explicit SimulationClock(const sim::SimulatedStack& stack) : m_stack(stack) {}
  std::time_t Now() const override { return static_cast<std::time_t>(sim::ToEpochSeconds(m_stack.UtcNow())); }

private:
  const sim::SimulatedStack& m_stack;
};

// SIGINT and SIGTERM end the run like --run-for does: the handler only
// writes a byte to a pipe that the event loop watches.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  const char byte = 1;
  ssize_t ignored = write(g_signalPipe[1], &byte, 1);
  (void)ignored;
}

class StopSignals {
public:
  explicit StopSignals(std::function<void()> onStop) : m_onStop(std::move(onStop)) {
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
      char buffer[16];
      while (read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
      }
      m_stopped = true;
      if (m_onStop) m_onStop();
    });
  }
  ~StopSignals() {
    if (g_signalPipe[0] < 0) return;
    if (m_stopped) {
      // The run ends because it was asked to: a repeated signal from now on
      // must not turn a saved run into a killed one.
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      sigemptyset(&ignore.sa_mask);
      sigaction(SIGINT, &ignore, nullptr);
      sigaction(SIGTERM, &ignore, nullptr);
    } else {
      sigaction(SIGINT, &m_oldInt, nullptr);
      sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    m_notifier.reset();
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  bool Stopped() const { return m_stopped; }

private:
  std::function<void()> m_onStop;
  std::unique_ptr<QSocketNotifier> m_notifier;
  struct sigaction m_oldInt {};
  struct sigaction m_oldTerm {};
  bool m_stopped = false;
};

// The settings file must be there: a mistyped name would otherwise run on
// empty settings without a word.
bool SettingsFileUsable(const std::string& path, std::string& error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    error = "--settings " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "--settings " + path + ": not a regular file";
    return false;
  }
  return true;
}

// One program per data folder; once it is ours, what interrupted saves
// left behind goes.
int TakeDataFolder(platform::DataFolderLock& lock, std::ostream& err) {
  const std::string folder = platform::DataFolder();
  std::string error;
  switch (lock.Acquire(folder, error)) {
    case platform::DataFolderLock::Result::Acquired:
      break;
    case platform::DataFolderLock::Result::Busy:
      return Fail(err, lock.BusyMessage(), kExitBusy);
    case platform::DataFolderLock::Result::Failed:
      return Fail(err, "the data folder cannot be locked: " + error, kExitFailed);
  }
  platform::RemoveStaleTemporaries(folder, {kHistoryFileName, "device-times.txt"});
  return kExitOk;
}

// The printed list, through the print engine of the window.
bool ExportPdf(const DeviceListModel& list, const HeadlessOptions& o, std::ostream& out, std::string& error) {
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

bool Export(const DeviceListModel& list, const HeadlessOptions& o, std::ostream& out, std::string& error) {
  if (o.exportKind == ExportKind::Pdf) return ExportPdf(list, o, out, error);
  const ReportKind kind = o.exportKind == ExportKind::Xml ? ReportKind::Xml : ReportKind::Text;
  if (o.exportPath == "-") {
    out << (kind == ReportKind::Xml ? ListExporter::BuildXmlReport(list) : ListExporter::BuildTextReport(list))
        << std::flush;
    return true;
  }
  // The file the user named: a link to a report is followed and stays.
  const std::string report =
      kind == ReportKind::Xml ? ListExporter::BuildXmlReport(list) : ListExporter::BuildTextReport(list);
  return platform::WriteFileAtomically(o.exportPath, report, error,
                                       platform::LinkPolicy::FollowToRegularFile);
}

}  // namespace

int RunHeadless(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  HeadlessOptions o;
  std::string error;
  if (!ParseHeadlessOptions(args, o, error))
    return Fail(err, error + " (see " + kProgram + " --help)", kExitUsage);
  if (!o.dataDir.empty()) platform::SetDataFolderOverride(o.dataDir);
  if (!o.settingsFile.empty() && !SettingsFileUsable(o.settingsFile, error))
    return Fail(err, error + " (see " + kProgram + " --help)", kExitUsage);

  // Nothing in the data folder is touched before it is ours.
  platform::DataFolderLock folderLock;
  if (int status = TakeDataFolder(folderLock, err); status != kExitOk) return status;

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
  std::unique_ptr<platform::QtSettingsStore> settings =
      o.settingsFile.empty() ? std::make_unique<platform::QtSettingsStore>()
                             : std::make_unique<platform::QtSettingsStore>(QString::fromStdString(o.settingsFile));

  // BlueZ when asked for, or by default when it answers; else the scenario
  // (always with stepped time, which only the simulation has).
  const bool stepped = o.simClock == SimClockMode::Stepped;
  std::unique_ptr<platform::BluetoothStack> bluez;
  if (o.stack == "bluez" || (o.stack.empty() && !stepped)) {
    const bool agent = settings->ReadInt("BlueZ", "PairingAgent", 0) != 0;
    bluez = OpenBluez(o.stack == "bluez", agent, error);
    if (!bluez && o.stack == "bluez") return Fail(err, error, HaveBluez() ? kExitFailed : kExitUsage);
    if (bluez && !error.empty()) err << kProgram << ": " << error << '\n';
  }
  std::unique_ptr<sim::SimulatedStack> simulation;
  if (!bluez) {
    sim::Scenario scenario;
    std::string description;
    if (o.stack.empty() || o.stack == "sim") {
      if (!sim::LoadDemoScenario(scenario, error)) return Fail(err, error, kExitFailed);
      description = "demo scenario";
    } else {
      description = o.stack.substr(4);
      if (!sim::LoadScenarioFile(description, scenario, error)) return Fail(err, error, kExitFailed);
    }
    simulation = std::make_unique<sim::SimulatedStack>(
        std::move(scenario), stepped ? sim::TimeMode::Stepped : sim::TimeMode::Wall, description);
    // Nobody may take simulated devices for real ones.
    out << simulation->Description() << " - a simulation, none of its devices is real\n" << std::flush;
  }
  platform::BluetoothStack& stack = bluez ? *bluez : *simulation;
  const auto started = std::chrono::steady_clock::now();
  InquiryTracker tracker(stack, [&simulation, started] {
    return simulation ? simulation->NowMs()
                      : std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                            .count();
  });
  platform::QtSoundOutput sound;
  platform::NetbiosMessenger messenger;
  platform::QtTimer wallTimer;
  VirtualTimer steppedTimer;
  platform::QtDispatcher dispatcher;
  ThreadWorkers workers;
  platform::SystemClock wallClock;
  std::unique_ptr<SimulationClock> simulationClock;
  if (simulation) simulationClock = std::make_unique<SimulationClock>(*simulation);
  // Device times take the zone's bias at the simulated time, as event lines do.
  struct BiasClockGuard {
    explicit BiasClockGuard(const SimulationClock* c) : used(c != nullptr) {
      if (used) platform::SetTimeZoneBiasClock([c] { return c->Now(); });
    }
    ~BiasClockGuard() {
      if (used) platform::SetTimeZoneBiasClock({});
    }
    bool used;
  } biasClock(simulationClock.get());
  platform::Clock& clock = simulationClock ? static_cast<platform::Clock&>(*simulationClock) : wallClock;
  PrintingStatus status(out, err);
  StoredSettings dialog;
  platform::Timer& timer = stepped ? static_cast<platform::Timer&>(steppedTimer) : wallTimer;
  FramePorts ports{tracker, *settings, sound, messenger, timer, workers, dispatcher, clock, status, dialog};

  // As the window starts: the frame (its own history check, the start-up
  // line), its registrations, then the view with the history.
  HistoryStore startupCheck;
  DeviceListView view;
  ViewMerge merge(view);
  int exitStatus = kExitOk;
  // Installed until the end: a repeated signal must not cut the save short.
  StopSignals stopSignals([&] {
    if (!stepped) QCoreApplication::quit();
  });
  {
    std::string startupMessage;
    MainFrame frame(ports, [&startupCheck, &startupMessage, &err] {
      startupMessage = startupCheck.CheckFile().message;
      if (!startupMessage.empty()) err << kProgram << ": " << startupMessage << '\n';
      return startupMessage;
    });
    frame.OnCreate();
    frame.Sound().SetParentWindow(&frame);
    HistoryFileCheck loaded = view.LoadHistory();
    if (!loaded.message.empty() && loaded.message != startupMessage)
      err << kProgram << ": " << loaded.message << '\n';
    frame.SetView(&merge);

    frame.OnRunMonitoring();
    if (stepped) {
      SteppedHooks hooks{
          [&simulation] { return simulation->NowMs(); },
          [&simulation](std::int64_t ms) { simulation->AdvanceTime(ms); },
          [&simulation] { return simulation->SearchCount(); },
          [] {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
          },
          [&dispatcher] { return dispatcher.Pending(); },
          [&workers] { return workers.Running(); },
      };
      SteppedDriver(hooks, steppedTimer, tracker).Run(*o.runForMs, [&] { return stopSignals.Stopped(); });
    } else {
      if (o.runForMs)
        QTimer::singleShot(std::chrono::milliseconds(*o.runForMs), [] { QCoreApplication::quit(); });
      QCoreApplication::exec();
    }
    frame.Shutdown();
  }

  if (!view.SaveHistory(&error)) {
    err << kProgram << ": history.xml not saved: " << error << '\n';
    exitStatus = kExitFailed;
  }
  if (o.exportKind != ExportKind::None && !Export(view.Model(), o, out, error)) {
    err << kProgram << ": " << o.exportPath << " not written: " << error << '\n';
    exitStatus = kExitFailed;
  }
  return exitStatus;
}

}  // namespace wren::app
