// The window's speed: process start to the first painted window, a device
// event to its status line and merged row, the longest stall of the
// user-interface thread while a 10,000-device scan is merged into a shown
// list, and the processor and memory used by five minutes of monitoring the
// demo (BM_DemoMonitoringCpu, which takes that long). Run on Qt's offscreen
// platform, so no display is needed.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "core/monitor/Session.h"
#include "gui/CMainFrame.h"
#include "gui/CWrenlocatorView.h"
#include "gui/DeviceTableModel.h"
#include "core/history/DeviceHistory.h"
#include "adapters/posix/MemorySettingsStore.h"
#include "adapters/posix/NetbiosMessenger.h"
#include "ports/Shell.h"
#include "base/System.h"
#include "adapters/qt/QtDispatcher.h"
#include "adapters/qt/QtSoundOutput.h"
#include "adapters/qt/QtTimer.h"
#include "adapters/sim/SimulatedStack.h"
#include "core/list/ScanReconciler.h"
#include "program/StackFactory.h"

namespace wren {
namespace {

using Clock = std::chrono::steady_clock;

std::string TempFolder() {
  char pattern[] = "/tmp/wren-window-bench-XXXXXX";
  return mkdtemp(pattern) ? pattern : "/tmp";
}

// From fork to the line the program prints once its window has painted.
void BM_StartToFirstPaint(benchmark::State& state) {
  const std::string data = TempFolder();
  // The settings file must exist: a fresh one gives the stored defaults.
  const std::string settings = data + "/settings.ini";
  if (std::FILE* fresh = std::fopen(settings.c_str(), "w")) {
    std::fclose(fresh);
  } else {
    state.SkipWithError("cannot make the settings file");
    return;
  }
  for (auto _ : state) {
    int out[2];
    if (pipe(out) != 0) {
      state.SkipWithError("pipe");
      return;
    }
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("WRENLOCATOR_FIRST_PAINT_EXIT", "1", 1);
      execl(WREN_PROGRAM, WREN_PROGRAM, "--stack", "sim", "--data-dir", data.c_str(), "--settings",
            settings.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    const auto painted = Clock::now();
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (line != "painted") {
      state.SkipWithError(("no first paint reported: '" + line + "'").c_str());
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(painted - start).count());
  }
}
BENCHMARK(BM_StartToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

class NoShell : public platform::Shell {
public:
  bool OpenPath(const std::string&) override { return false; }
  bool OpenUrl(const std::string&) override { return false; }
};

class NoLauncher : public platform::ProgramLauncher {
public:
  std::string FindProgram(const std::string&) const override { return {}; }
  bool StartDetached(const std::string&, const std::vector<std::string>&) override { return false; }
};

// A phone that comes in range once a second, beside eight hundred others.
std::string EventScenario() {
  std::string text =
      "<scenario name=\"bench\" start=\"2009-07-21 14:03:50\">\n"
      "<radio id=\"r\" address=\"00:02:5B:10:20:30\" name=\"Desk\" class=\"0x02010C\"/>\n"
      "<device address=\"00:1A:2B:3C:4D:5E\" name=\"Phone\" class=\"0x5A020C\" "
      "remembered=\"yes\"/>\n";
  for (int i = 0; i < 800; ++i) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "<device address=\"00:1B:00:00:%02X:%02X\" name=\"Dev %d\" class=\"0x240404\" "
                  "remembered=\"yes\"/>\n",
                  (i >> 8) & 0xFF, i & 0xFF, i);
    text += line;
  }
  text +=
      "<timeline repeat=\"1\"><in-range at=\"0.5\" device=\"00:1A:2B:3C:4D:5E\" flags=\"0x24\" "
      "previous=\"0x00\"/></timeline>\n</scenario>\n";
  return text;
}

// From the stack raising the event to pane 0 showing its line and the scan
// it started merged into the shown list, through the real dispatcher and
// workers.
void BM_EventToStatusAndRow(benchmark::State& state) {
  const std::string data = TempFolder();
  const std::string scenario = data + "/bench.xml";
  std::ofstream(scenario) << EventScenario();
  platform::SetDataFolderOverride(data);
  platform::MemorySettingsStore settings;
  platform::QtSoundOutput sound;
  platform::NetbiosMessenger messenger;
  platform::QtTimer timer;
  platform::QtDispatcher dispatcher;
  gui::WindowStatus status;
  SessionFailure failure;
  StackFactory stacks;
  auto session =
      SessionBuilder(stacks, HostPorts{settings, sound, messenger, timer, dispatcher, status})
          .Stack("sim:" + scenario)
          .SteppedClock(true)
          .Build(failure);
  if (!session) {
    state.SkipWithError(failure.message.c_str());
    return;
  }
  NoShell shell;
  NoLauncher launcher;
  gui::CMainFrame window(*session, status, gui::WindowPorts{sound, shell, launcher, ""});
  window.show();
  window.Monitoring().RunMonitoring();
  while (session->Monitoring().ScansMerged() == 0)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  for (auto _ : state) {
    window.SetStatusText("");
    const auto merged = session->Monitoring().ScansMerged();
    const auto start = Clock::now();
    session->Simulation()->AdvanceTime(1000);
    while (window.StatusText().isEmpty() || session->Monitoring().ScansMerged() == merged)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QCoreApplication::processEvents();  // the repaint
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  window.close();
  platform::SetDataFolderOverride("");
}
BENCHMARK(BM_EventToStatusAndRow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

DeviceRecord MakeDevice(int i, bool connected) {
  DeviceRecord r;
  char address[18];
  std::snprintf(address, sizeof address, "00:1A:%02X:%02X:%02X:%02X", (i >> 24) & 0xFF,
                (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
  r.m_radioName = "WORKSTATION-hci0";
  r.m_name = "Device number " + std::to_string(i);
  r.m_address = address;
  r.m_producer = "Example Electronics Corporation";
  r.m_lastSeen = "14:03:59 07/21/2009";
  r.m_lastUsed = "13:00:00 07/20/2009";
  r.m_type = "Phone/Smart phone";
  r.m_services = "Object Transfer,Audio,Telephony";
  r.m_connected = connected;
  r.m_image = 7;
  return r;
}

// The user-interface thread is busy from the start of the merge until the
// shown list has taken every change and repainted: that whole span is one
// stall. state.range(0): 0 a first scan (every row new), 1 a rescan with
// every row's connection changed.
void BM_MergeStall10k(benchmark::State& state) {
  constexpr int kDevices = 10'000;
  const bool rescan = state.range(0) == 1;
  DeviceList first, second;
  for (int i = 0; i < kDevices; ++i) {
    first.push_back(MakeDevice(i, false));
    second.push_back(MakeDevice(i, true));
  }
  for (auto _ : state) {
    state.PauseTiming();
    DeviceListModel list;
    DeviceHistory history(std::string("bench-history.xml"));
    ScanReconciler reconciler(list, history);
    gui::DeviceTableModel model(list);
    gui::CWrenlocatorView view(model);
    view.resize(1000, 600);
    view.show();
    QCoreApplication::processEvents();
    if (rescan) {
      reconciler.ReconcileScan(first);
      QCoreApplication::processEvents();
    }
    state.ResumeTiming();
    const auto start = Clock::now();
    reconciler.ReconcileScan(rescan ? second : first);
    QCoreApplication::processEvents();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    state.PauseTiming();
    view.hide();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_MergeStall10k)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

long ResidentKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The window monitoring the demo scenario on the wall clock, its scans every
// two seconds and the scenario's events as they come, for state.range(0)
// seconds after a ten-second warm-up: the share of one core used (user and
// system, every thread) and the resident memory at the start and the end.
void BM_DemoMonitoringCpu(benchmark::State& state) {
  const std::string data = TempFolder();
  platform::SetDataFolderOverride(data);
  platform::MemorySettingsStore settings;
  platform::QtSoundOutput sound;
  platform::NetbiosMessenger messenger;
  platform::QtTimer timer;
  platform::QtDispatcher dispatcher;
  gui::WindowStatus status;
  SessionFailure failure;
  StackFactory stacks;
  auto session =
      SessionBuilder(stacks, HostPorts{settings, sound, messenger, timer, dispatcher, status})
          .Stack("sim")
          .Build(failure);
  if (!session) {
    state.SkipWithError(failure.message.c_str());
    return;
  }
  NoShell shell;
  NoLauncher launcher;
  gui::CMainFrame window(*session, status, gui::WindowPorts{sound, shell, launcher, ""});
  window.show();
  window.Monitoring().RunMonitoring();
  auto runFor = [](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  };
  runFor(10'000);
  for (auto _ : state) {
    const long rssStart = ResidentKb();
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    runFor(static_cast<int>(state.range(0)) * 1000);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(wall);
    state.counters["cpu_percent"] = 100.0 * (CpuSeconds() - cpuStart) / wall;
    state.counters["rss_start_kb"] = static_cast<double>(rssStart);
    state.counters["rss_end_kb"] = static_cast<double>(ResidentKb());
    state.counters["scans"] = static_cast<double>(session->Monitoring().ScansMerged());
  }
  window.close();
  platform::SetDataFolderOverride("");
}
BENCHMARK(BM_DemoMonitoringCpu)->Arg(300)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace wren

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
