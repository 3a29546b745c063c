#pragma once
// The main frame's session logic without a window: start-up, the
// monitoring cycle (Run, Stop, the timer tick, scan workers) and the
// Bluetooth event log. The GUI and the headless monitor drive it alike.
//
// Threads. Everything here runs on the user-interface thread except the
// body of a scan worker. A worker reads nothing of the frame but the
// monitoring flag and the frame's BluetoothPlatform; it gets its search
// parameters by value and hands its finished DeviceList to the
// user-interface thread through the dispatcher, where the view merges it.
// So scans may overlap, but merges run one at a time and never meet a
// history save. Stack notifications arrive on the stack's thread and are
// posted the same way. Shutdown (and the destructor) unregisters, asks every
// worker to stop and waits for all of them; results still on their way are
// dropped, so nothing touches the frame or the view once it is gone.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/monitor/Alarms.h"
#include "core/monitor/SoundPlayer.h"
#include "core/bluetooth/BluetoothPlatform.h"
#include "core/bluetooth/DeviceRecord.h"
#include "core/bluetooth/SearchSettings.h"
#include "ports/BluetoothStack.h"
#include "ports/Clock.h"
#include "ports/Dispatcher.h"
#include "ports/MessengerTransport.h"
#include "ports/SettingsStore.h"
#include "ports/SoundOutput.h"
#include "ports/Timer.h"
#include "ports/Workers.h"

namespace wren {

// Pane 0 of the status bar, and every line handed to the alarm log.
class StatusSink {
public:
  virtual ~StatusSink() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  // After LogEvent, with what became of the line.
  virtual void OnLogged(const std::string& /*line*/, const LogResult& /*result*/) {}
};

// The active view, which merges every finished scan.
class ScanConsumer {
public:
  virtual ~ScanConsumer() = default;
  virtual void ReconcileScan(const DeviceList& scan) = 0;
  // The devices the merges so far saw for the first time, each once per
  // run; the frame raises the new-device alarm for them when it is on.
  virtual std::vector<DeviceRecord> TakeNewDevices() { return {}; }
};

struct MonitorPorts {
  platform::BluetoothStack& stack;
  platform::SettingsStore& settings;
  platform::SoundOutput& sound;
  platform::MessengerTransport& messenger;
  platform::Timer& timer;
  platform::WorkerStarter& workers;  // the frame's own: Shutdown stops all of them
  platform::Dispatcher& dispatcher;  // to the user-interface thread
  platform::Clock& clock;
  StatusSink& status;
};

// The refresh period for a stored "UpdateSpeed": seconds times 1000, a
// speed below 1 s taken as 1 s and one too long for the timer as the
// longest it takes.
std::int32_t RefreshPeriodMs(std::int64_t updateSpeed);

class Monitor {
public:
  static constexpr std::uint32_t kTimerEventId = 1;

  // The history check at start-up; returns a line for the alarm log (to
  // follow the time text and " - "), or "" when there is nothing to say.
  using HistoryCheck = std::function<std::string()>;

  // Construction as the program starts: settings loaded, vendor database
  // loaded, radio presence tested, the history check made, and the
  // start-up line written to a fresh alarm log.
  explicit Monitor(const MonitorPorts& ports, const HistoryCheck& historyCheck = {});
  ~Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // The window exists: registers for the events of every local radio,
  // watches for adapters coming and going, and lets the alarms sound.
  void OnCreate();
  // Where finished scans go; null drops them.
  void SetView(ScanConsumer* view) { m_view = view; }

  // Commands and messages (user-interface thread).
  // Run, once the user confirmed the search parameters (the window shows
  // SearchDialog() first; the settings are stored by then): the cycle
  // restarts with them. A cancelled dialog does not come here.
  void RunMonitoring();
  void OnStopMonitoring();
  void OnTimer(platform::Timer::Id id);
  void OnDeviceChange(const platform::DeviceChange& change);

  void StartMonitoring();
  void StopMonitoring();
  void StartScanWorker();

  // Ends the session: timer killed, registrations dropped, workers asked
  // to stop and waited for. Nothing reaches the view afterwards.
  void Shutdown();

  // Session state.
  platform::Timer::Id TimerId() const { return m_timerId; }
  std::int32_t PeriodMs() const { return m_periodMs; }
  bool RestartPending() const { return m_restartPending; }
  bool Monitoring() const { return m_monitoring.load(); }
  bool RadioPresent() const { return m_radioPresent; }
  std::size_t RegisteredRadios() const { return m_notifyHandles.size(); }

  // Counts since construction, for the status output and tests.
  std::uint64_t WorkersStarted() const { return m_workersStarted; }
  std::uint64_t ScansMerged() const { return m_scansMerged; }
  // A scan runs or waits to be merged; another was asked for meanwhile.
  bool ScanInFlight() const { return m_scanInFlight; }
  bool ScanAgain() const { return m_scanAgain; }

  BluetoothPlatform& Bluetooth() { return m_bluetooth; }
  SearchParamsModel& SearchDialog() { return m_searchDlg; }
  SoundPlayer& Sound() { return m_soundPlayer; }
  Alarms& AlarmLog() { return m_alarms; }

private:
  class EventSink;

  void OnScanEnded();
  std::string TimeText() const;
  void LogLine(const std::string& line, AlarmEvent event, Disposition disposition);
  void ShowStatus(const std::string& text);
  void ScanWorkerProc(std::stop_token stop, SearchParams params, std::weak_ptr<void> alive);
  void MergeScan(const DeviceList& scan);

  MonitorPorts m_ports;
  // Lives while the frame takes deliveries; tasks posted to the
  // user-interface thread hold it weakly and do nothing once it is gone.
  std::shared_ptr<int> m_alive = std::make_shared<int>(0);
  std::unique_ptr<EventSink> m_sink;

  NotifyHandleList m_notifyHandles;
  BluetoothPlatform m_bluetooth;
  SearchParamsModel m_searchDlg;
  SoundPlayer m_soundPlayer;
  Alarms m_alarms;
  std::unique_ptr<platform::NotificationHandle> m_treeWatch;

  platform::Timer::Id m_timerId = 0;
  std::int32_t m_periodMs = 1000;
  bool m_restartPending = false;
  std::atomic<bool> m_monitoring{false};  // read by workers
  bool m_radioPresent = false;            // user-interface thread only

  ScanConsumer* m_view = nullptr;
  bool m_shutDown = false;
  bool m_scanInFlight = false;  // user-interface thread only
  bool m_scanAgain = false;     // user-interface thread only
  std::uint64_t m_workersStarted = 0;
  std::uint64_t m_scansMerged = 0;
};

}  // namespace wren
