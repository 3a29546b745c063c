#pragma once
// The composition root: one session of the program, assembled from its
// options the same way for the window and the headless monitor. A session
// holds the stack, the frame's ports that do not depend on the host, the
// history, the device list with its reconciler, and the main frame (with its
// alarms and sound player).
//
// The host (the window or the headless program) brings what differs: the
// settings store, the sound and messenger outputs, its timer, its
// dispatcher to the user-interface thread and its status sink.
//
// Start-up, as the window starts: the stack opens (a simulation says so on
// the status sink before anything else), the frame is built (history.xml is
// opened and loaded once, and the start-up line written), the host calls
// Monitoring().OnCreate() once its window exists, then Run starts monitoring.

#include <functional>
#include <memory>
#include <string>

#include "core/monitor/Monitor.h"
#include "core/monitor/StackSource.h"
#include "core/monitor/SteppedTime.h"
#include "core/monitor/ThreadWorkers.h"
#include "core/history/DeviceHistory.h"
#include "ports/Clock.h"
#include "core/list/DeviceListModel.h"
#include "core/list/ScanReconciler.h"

namespace wren {

struct HostPorts {
  platform::SettingsStore& settings;
  platform::SoundOutput& sound;
  platform::MessengerTransport& messenger;
  platform::Timer& timer;            // wall-clock ticks; a stepped session has its own timer
  platform::Dispatcher& dispatcher;  // to the user-interface thread
  StatusSink& status;
};

class Session {
public:
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  platform::BluetoothStack& Stack() { return *m_stack.stack; }
  // Full properties, discovery, pairing and the like; null for a stack
  // without them.
  platform::DeviceManager* Devices() { return m_stack.devices; }
  // The simulation's time, when that is what runs; null on BlueZ.
  platform::SimulatedTime* Simulation() { return m_stack.simulation; }
  // A note about the stack for the user ("" when there is none), for
  // example that BlueZ does not answer yet.
  const std::string& StackNote() const { return m_stack.message; }
  bool SteppedClock() const { return m_steppedTimer != nullptr; }
  // Stepped sessions: the timer the frame runs on and the stack as the
  // frame sees it, for SteppedDriver.
  VirtualTimer* SteppedTimer() { return m_steppedTimer.get(); }
  InquiryTracker& Tracker() { return m_tracker; }
  ThreadWorkers& Workers() { return m_workers; }

  Monitor& Monitoring() { return *m_frame; }
  DeviceHistory& History() { return m_history; }
  DeviceListModel& List() { return m_list; }
  ScanReconciler& Reconciler() { return m_reconciler; }
  // What opening history.xml found at start-up.
  const HistoryFileCheck& HistoryCheck() const { return m_historyCheck; }

  // Ends monitoring: timer killed, registrations dropped, workers stopped
  // and joined. The list and the history stay for saving and exporting.
  void Shutdown() { m_frame->Shutdown(); }
  bool SaveHistory(std::string* error = nullptr) { return m_history.Save(error); }

  // Watchers of what the session produces, for the fleet's publisher: every
  // line of the event log and every record as merged into the history.
  // Called on the user-interface thread; set before monitoring starts.
  struct Observers {
    std::function<void(const std::string& line)> onEventLine;
    std::function<void(const DeviceRecord& merged)> onMergedRecord;
  };
  void SetObservers(Observers observers);

private:
  friend class SessionBuilder;
  class Merge;
  class SimulationClock;
  class StatusTap;

  Session(OpenedStack stack, const HostPorts& ports, bool stepped);

  OpenedStack m_stack;
  InquiryTracker m_tracker;
  std::unique_ptr<VirtualTimer> m_steppedTimer;
  std::unique_ptr<platform::Clock> m_clock;
  ThreadWorkers m_workers;
  DeviceHistory m_history;
  HistoryFileCheck m_historyCheck;
  DeviceListModel m_list;
  ScanReconciler m_reconciler;
  std::unique_ptr<Merge> m_merge;
  std::unique_ptr<StatusTap> m_statusTap;
  std::unique_ptr<Monitor> m_frame;  // last: it goes first
};

// What went wrong when no session could be built.
struct SessionFailure {
  StackFailure kind = StackFailure::None;
  std::string message;  // one line
};

class SessionBuilder {
public:
  SessionBuilder(const StackSource& stacks, const HostPorts& ports);

  // "" (default), "bluez", "sim" or "sim:FILE".
  SessionBuilder& Stack(std::string choice);
  // The folder for history.xml and alarmlog.txt; "" keeps the program's.
  SessionBuilder& DataFolder(std::string folder);
  // Simulated time moved by the caller (SteppedDriver); simulation only.
  SessionBuilder& SteppedClock(bool stepped);

  // Null, with `failure` saying why, when the stack could not be opened.
  std::unique_ptr<Session> Build(SessionFailure& failure) const;

private:
  const StackSource& m_stacks;
  HostPorts m_ports;
  std::string m_stack;
  std::string m_dataFolder;
  bool m_stepped = false;
};

}  // namespace wren
