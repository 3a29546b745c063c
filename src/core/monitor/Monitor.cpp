#include "core/monitor/Monitor.h"

#include <limits>
#include <utility>

#include "core/monitor/EventLog.h"

namespace wren {

using platform::DeviceChange;

// Stack notifications arrive on the stack's thread; they are posted to the
// user-interface thread and handled there. The sink keeps its own weak copy
// of the frame's token, taken once, so the stack's thread never reads a
// member the user-interface thread writes.
class Monitor::EventSink : public platform::DeviceChangeSink {
public:
  EventSink(Monitor& frame, std::weak_ptr<void> alive)
      : m_frame(frame), m_dispatcher(frame.m_ports.dispatcher), m_alive(std::move(alive)) {}

  void OnDeviceChange(const DeviceChange& change) override {
    m_dispatcher.Post([frame = &m_frame, alive = m_alive, change] {
      if (alive.expired()) return;
      frame->OnDeviceChange(change);
    });
  }

private:
  Monitor& m_frame;
  platform::Dispatcher& m_dispatcher;
  const std::weak_ptr<void> m_alive;
};

std::int32_t RefreshPeriodMs(std::int64_t updateSpeed) {
  constexpr std::int64_t kLongest = std::numeric_limits<std::int32_t>::max() / 1000;
  if (updateSpeed < 1) updateSpeed = 1;
  if (updateSpeed > kLongest) updateSpeed = kLongest;
  return static_cast<std::int32_t>(updateSpeed * 1000);
}

Monitor::Monitor(const MonitorPorts& ports, const HistoryCheck& historyCheck)
    : m_ports(ports),
      m_sink(std::make_unique<EventSink>(*this, std::weak_ptr<void>(m_alive))),
      m_bluetooth(ports.stack),
      m_searchDlg(ports.settings),
      m_soundPlayer(ports.sound),
      m_alarms(m_searchDlg.Notify(), m_soundPlayer, ports.messenger) {
  m_bluetooth.LoadVendorDatabase();
  m_radioPresent = m_bluetooth.IsRadioPresent();

  std::string historyMessage = historyCheck ? historyCheck() : std::string();
  std::string time = TimeText();
  LogLine(StartupLine(time), AlarmEvent(), Disposition::CreateAlways);
  // The start-up line empties the log, so the history check's report
  // follows it.
  if (!historyMessage.empty())
    LogLine(time + " - " + historyMessage, AlarmEvent(), Disposition::OpenAlways);
}

Monitor::~Monitor() { Shutdown(); }

void Monitor::OnCreate() {
  if (m_shutDown) return;
  m_soundPlayer.SetWindowOpen(true);
  m_bluetooth.RegisterRadioNotifications(*m_sink, m_notifyHandles);
  m_treeWatch = m_bluetooth.WatchDeviceTree(*m_sink);
}

std::string Monitor::TimeText() const { return FormatTimeText(m_ports.clock.Now()); }

void Monitor::LogLine(const std::string& line, AlarmEvent event, Disposition disposition) {
  LogResult result = m_alarms.LogEvent(line, std::move(event), disposition);
  m_ports.status.OnLogged(line, result);
}

void Monitor::ShowStatus(const std::string& text) { m_ports.status.SetStatusText(text); }

void Monitor::RunMonitoring() {
  if (m_shutDown) return;
  m_restartPending = true;
  StopMonitoring();
  StartMonitoring();
}

void Monitor::OnStopMonitoring() { StopMonitoring(); }

void Monitor::StartMonitoring() {
  if (m_shutDown) return;
  m_monitoring = true;
  m_periodMs = RefreshPeriodMs(
      m_ports.settings.ReadInt(settings::kSettingsSection, settings::kUpdateSpeed, 2));
  m_radioPresent = m_bluetooth.IsRadioPresent();

  if (!m_bluetooth.RegisterRadioNotifications(*m_sink, m_notifyHandles)) {
    ShowStatus(std::string(kNoAdapterText));
    StartScanWorker();
    return;
  }
  if (m_timerId != 0) return;
  std::weak_ptr<void> alive = m_alive;
  m_timerId =
      m_ports.timer.Create(kTimerEventId, m_periodMs, [this, alive](platform::Timer::Id id) {
        if (!alive.expired()) OnTimer(id);
      });
  StartScanWorker();
}

void Monitor::StopMonitoring() {
  m_monitoring = false;
  if (m_timerId != 0 && m_ports.timer.Kill(m_timerId)) m_timerId = 0;
}

void Monitor::OnTimer(platform::Timer::Id /*id*/) {
  if (m_timerId == 0) return;
  if (m_restartPending) {
    m_restartPending = false;
    StopMonitoring();
    StartMonitoring();
  } else {
    StartScanWorker();
  }
}

void Monitor::StartScanWorker() {
  if (m_shutDown) return;
  // One scan at a time: whatever asks for one while a scan runs (a tick, a
  // storm of device events) gets a single follow-up scan once it has been
  // merged, so neither threads nor waiting results pile up.
  if (m_scanInFlight) {
    m_scanAgain = true;
    return;
  }
  // The parameters are taken here, on the user-interface thread, so that a
  // worker never reads the dialog while Run may be changing it.
  SearchParams params = m_searchDlg.Snapshot();
  std::weak_ptr<void> alive = m_alive;
  ++m_workersStarted;
  m_scanInFlight = m_ports.workers.Start([this, params, alive](std::stop_token stop) {
    ScanWorkerProc(std::move(stop), params, alive);
  });
}

void Monitor::OnScanEnded() {
  m_scanInFlight = false;
  if (!m_scanAgain) return;
  m_scanAgain = false;
  StartScanWorker();
}

// Worker thread. The frame outlives every worker (Shutdown joins them), so
// m_bluetooth and m_monitoring are safe to use; the result goes to the
// user-interface thread and is dropped there once the frame is shut down.
void Monitor::ScanWorkerProc(std::stop_token stop, SearchParams params, std::weak_ptr<void> alive) {
  DeviceList list;
  bool scanned = false;
  // The presence seen here is not stored: the frame's m_radioPresent
  // follows the device-tree events alone, so no adapter change goes
  // unlogged.
  if (m_monitoring.load() && m_bluetooth.IsRadioPresent()) {
    m_bluetooth.ScanDevices(list, params, stop);
    scanned = !stop.stop_requested();
  }
  // Every scan says that it ended, merged or not, so that the next may start.
  m_ports.dispatcher.Post([this, alive = std::move(alive), scanned, list = std::move(list)] {
    if (alive.expired()) return;
    if (scanned) MergeScan(list);
    OnScanEnded();
  });
}

void Monitor::MergeScan(const DeviceList& scan) {
  ++m_scansMerged;
  if (!m_view) return;
  m_view->ReconcileScan(scan);
  // Taken also when the alarm is off, so that turning it on later does not
  // announce devices seen long before.
  std::vector<DeviceRecord> fresh = m_view->TakeNewDevices();
  if (m_searchDlg.Notify().m_newDevice == 0) return;
  for (const DeviceRecord& device : fresh) {
    AlarmEvent event;
    event.newDevice = true;
    event.text = NewDeviceLine(TimeText(), device.m_address, device.m_name);
    ShowStatus(event.text);
    std::string line = event.text;
    LogLine(line, std::move(event), Disposition::OpenAlways);
  }
}

void Monitor::OnDeviceChange(const DeviceChange& change) {
  if (m_shutDown) return;
  AlarmEvent event;

  if (change.eventType == platform::kDeviceNodesChanged) {
    if (!m_radioPresent) {
      m_radioPresent = m_bluetooth.IsRadioPresent();
      if (!m_radioPresent) return;
      m_bluetooth.RegisterRadioNotifications(*m_sink, m_notifyHandles);
      std::string line = AdapterInsertedLine(TimeText());
      ShowStatus(line);
      event.text = line;
      LogLine(line, event, Disposition::OpenAlways);
      StartScanWorker();
    } else {
      m_radioPresent = m_bluetooth.IsRadioPresent();
      if (m_radioPresent) {
        // Still a radio, but perhaps not the same ones: a second adapter
        // plugged in (or back) is heard from now on, not only after the
        // next Run. Nothing is shown or logged.
        m_bluetooth.RegisterRadioNotifications(*m_sink, m_notifyHandles);
        return;
      }
      std::string line = AdapterRemovedLine(TimeText());
      ShowStatus(line);
      event.text = line;
      LogLine(line, event, Disposition::OpenAlways);
    }
    return;
  }

  if (change.eventType != platform::kCustomEvent) return;
  StartScanWorker();
  std::optional<std::string> line = CustomEventLine(change, TimeText(), event);
  if (!line) return;
  ShowStatus(*line);
  event.text = *line;
  LogLine(*line, event, Disposition::OpenAlways);
}

void Monitor::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  m_alive.reset();
  m_monitoring = false;
  if (m_timerId != 0 && m_ports.timer.Kill(m_timerId)) m_timerId = 0;
  // Unregistering waits for a delivery in progress; none follows.
  m_treeWatch.reset();
  m_bluetooth.UnregisterRadioNotifications(m_notifyHandles);
  m_ports.workers.StopAll();
}

}  // namespace wren
