#include "program/RunWindow.h"
#include "base/Product.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSessionManager>
#include <QString>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>

#include "program/CommandLine.h"
#include "program/FleetPublishing.h"
#include "program/SessionStart.h"
#include "program/StopSignals.h"
#include "program/Options.h"
#include "core/monitor/Session.h"
#include "program/StartupChecks.h"
#include "gui/CMainFrame.h"
#include "adapters/qt/QtProgramLauncher.h"
#include "core/list/ListExporter.h"
#include "base/InstallPaths.h"
#include "base/System.h"
#include "adapters/qt/QtShell.h"
#include "program/HostAdapters.h"
#include "core/update/UpdateCheck.h"

#if __has_include(<X11/Xlib.h>) && defined(WREN_HAVE_X11)
#include <X11/Xlib.h>
#define WREN_CHECK_X11 1
#endif

namespace wren::gui {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

bool ParseWindowOptions(const std::vector<std::string>& args, WindowOptions& out,
                        std::string& error) {
  WindowOptions o;
  error.clear();
  for (std::size_t i = 0; i < args.size(); ++i) {
    switch (TakeCommonOption(args, i, o.stack, o.dataDir, error)) {
      case CommonOption::Taken:
        continue;
      case CommonOption::Bad:
        return false;
      case CommonOption::NotCommon:
        break;
    }
    // Options with a value that may not be empty.
    const struct {
      const char* option;
      std::string* into;
      const char* whenEmpty;
    } valued[] = {
        {"--settings", &o.settingsFile, "--settings needs a FILE"},
        {"--mqtt", &o.mqttUrl, "--mqtt needs a broker address like mqtt://host:1883"},
        {"--update-url", &o.updateUrl, "--update-url needs a URL"},
    };
    bool taken = false;
    for (const auto& v : valued) {
      const OptionValue read = ReadOptionValue(args, i, v.option, *v.into, error);
      if (read == OptionValue::NotThisOption) continue;
      if (read == OptionValue::Missing) return false;
      if (v.into->empty()) {
        error = v.whenEmpty;
        return false;
      }
      taken = true;
      break;
    }
    if (!taken) return false;  // some other form of the command line
  }
  out = o;
  return true;
}

bool DisplayAvailable(std::string& why) {
  const std::string platform = Env("QT_QPA_PLATFORM");
  const std::string x11 = Env("DISPLAY");
  const std::string wayland = Env("WAYLAND_DISPLAY");
  if (!platform.empty()) return true;  // the user chose the platform
  if (x11.empty() && wayland.empty()) {
    why = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
  }
#ifdef WREN_CHECK_X11
  if (wayland.empty()) {
    Display* display = XOpenDisplay(x11.c_str());
    if (!display) {
      why = "the display " + x11 + " cannot be opened";
      return false;
    }
    XCloseDisplay(display);
  }
#endif
  return true;
}

bool CheckSystemVersion(const platform::SystemVersion& version,
                        const std::function<void(const std::string&, const std::string&)>& refuse) {
  if (platform::IsSupported(version)) return true;
  if (refuse) refuse(kAppTitle, platform::RefusalText(kAppTitle, platform::SystemName(version)));
  return false;
}

std::string FindHelpPage() {
  const std::string page = platform::HelpPagePath();
  std::error_code ec;
  return std::filesystem::is_regular_file(page, ec) ? page : std::string();
}

int RunWindow(const std::vector<std::string>& args, const StackFactory& stacks, std::ostream& out,
              std::ostream& err, StopSignals& stopSignals) {
  WindowOptions o;
  std::string error;
  if (!ParseWindowOptions(args, o, error)) {
    err << kProgram << ": " << (error.empty() ? "unknown option" : error) << " (see " << kProgram
        << " --help)\n";
    return kExitUsage;
  }
  std::string why;
  if (!DisplayAvailable(why)) {
    err << kProgram << ": " << why << "; the window cannot open - use " << kProgram
        << " --headless to monitor without a window\n";
    return kExitFailed;
  }

  static int argc = 1;
  static char name[] = "wrenlocator";
  static char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  QApplication::setApplicationName(kAppTitle);
  QApplication::setOrganizationName(
      QString::fromUtf8(product::kMaker.data(), product::kMaker.size()));

  if (!CheckSystemVersion(platform::ReadSystemVersion(),
                          [](const std::string& caption, const std::string& text) {
                            QMessageBox::warning(nullptr, QString::fromStdString(caption),
                                                 QString::fromStdString(text));
                          }))
    return kExitFailed;

  if (!o.settingsFile.empty() && !SettingsFileUsable(o.settingsFile, error)) {
    err << kProgram << ": " << error << " (see " << kProgram << " --help)\n";
    return kExitUsage;
  }
  // Nothing in the data folder is touched before it is ours: a second
  // program on the same folder would lose the first one's devices.
  WindowStatus status;
  StartFailure failure;
  std::unique_ptr<StartedSession> started =
      StartSession(SessionRequest{o.stack, o.dataDir, o.settingsFile, o.mqttUrl, false, true},
                   stacks, status, err, failure);
  if (!started) {
    if (failure.step == StartStep::DataFolder)
      QMessageBox::critical(nullptr, kAppTitle, QString::fromStdString(failure.message));
    return failure.status;
  }
  platform::QtHostAdapters& host = started->host;
  Session* session = started->session.get();
  FleetPublishing& fleet = started->fleet;

  platform::QtShell shell;
  QtProgramLauncher launcher;
  int exitStatus = kExitOk;
  {
    WindowPorts ports{host.sound, shell, launcher, FindHelpPage()};
    ports.manifestUrl = o.updateUrl.empty() ? ManifestUrl(host.settings.get()) : o.updateUrl;
    CMainFrame window(*session, status, ports);
    stopSignals.Watch([target = QPointer<CMainFrame>(&window)] {
      if (target) target->close();
    });
    // The session manager asks before a logout: what was seen so far is
    // saved, and the window goes on.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                     [session, &err](QSessionManager&) {
                       std::string problem;
                       if (!session->SaveHistory(&problem))
                         err << kProgram << ": history.xml not saved: " << problem << '\n';
                     });
    window.ShowCentred();
    // Start-up timing: say so once the window has painted, then close.
    if (!Env("WRENLOCATOR_FIRST_PAINT_EXIT").empty())
      window.AfterFirstPaint([&window, &out] {
        out << "painted" << std::endl;
        window.close();
      });
    // A stop asked for during the start-up closes the window at once.
    if (!stopSignals.Stopped()) QApplication::exec();
    window.close();
    if (!window.SaveError().empty()) {
      // The file on disk is as it was; the user hears that this session's
      // devices did not reach it.
      exitStatus = kExitFailed;
      QMessageBox::warning(
          &window, kAppTitle,
          QString("history.xml could not be saved: %1\nThe devices of this session are "
                  "not in the history.")
              .arg(QString::fromStdString(window.SaveError())));
    }
    // The rows as the window showed them at the end, for scripted runs.
    const std::string report = Env("WRENLOCATOR_LIST_REPORT");
    if (!report.empty() &&
        !ListExporter::WriteReport(session->List(), report, ReportKind::Text, error)) {
      err << kProgram << ": " << report << " not written: " << error << '\n';
      exitStatus = kExitFailed;
    }
  }
  fleet.Finish();
  return exitStatus;
}

}  // namespace wren::gui
