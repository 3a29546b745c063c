#include "core/monitor/Session.h"

#include <chrono>
#include <utility>

#include "base/System.h"

namespace wren {
namespace {

// The BlueZ pairing agent is the user's choice, off unless set.
constexpr const char* kAgentSection = "BlueZ";
constexpr const char* kAgentKey = "PairingAgent";

std::function<std::int64_t()> ElapsedMs(platform::SimulatedTime* simulation) {
  if (simulation) return [simulation] { return simulation->NowMs(); };
  const auto started = std::chrono::steady_clock::now();
  return [started] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started)
        .count();
  };
}

}  // namespace

// Finished scans go to the reconciler.
class Session::Merge : public ScanConsumer {
public:
  explicit Merge(ScanReconciler& reconciler) : m_reconciler(reconciler) {}
  void ReconcileScan(const DeviceList& scan) override {
    m_reconciler.ReconcileScan(scan);
    if (!m_onMerged) return;
    for (const DeviceRecord& record : scan)
      if (const DeviceRecord* merged = m_reconciler.History().Find(record.m_address))
        m_onMerged(*merged);
  }
  std::vector<DeviceRecord> TakeNewDevices() override { return m_reconciler.TakeNewDevices(); }
  std::function<void(const DeviceRecord&)> m_onMerged;

private:
  ScanReconciler& m_reconciler;
};

// The host's status sink, with the logged lines shown to an observer too.
class Session::StatusTap : public StatusSink {
public:
  explicit StatusTap(StatusSink& host) : m_host(host) {}
  void SetStatusText(const std::string& text) override { m_host.SetStatusText(text); }
  void OnLogged(const std::string& line, const LogResult& result) override {
    m_host.OnLogged(line, result);
    if (m_onLine) m_onLine(line);
  }
  std::function<void(const std::string&)> m_onLine;

private:
  StatusSink& m_host;
};

// The event lines' time is the simulation's, so that its devices' times and
// its events agree.
class Session::SimulationClock : public platform::Clock {
public:
  explicit SimulationClock(const platform::SimulatedTime& time) : m_time(time) {}
  std::time_t Now() const override { return m_time.EpochSecondsNow(); }

private:
  const platform::SimulatedTime& m_time;
};

Session::Session(OpenedStack stack, const HostPorts& ports, bool stepped)
    : m_stack(std::move(stack)),
      m_tracker(*m_stack.stack, ElapsedMs(m_stack.simulation)),
      m_reconciler(m_list, m_history) {
  if (stepped) m_steppedTimer = std::make_unique<VirtualTimer>();
  if (m_stack.simulation) {
    m_clock = std::make_unique<SimulationClock>(*m_stack.simulation);
    // Device times take the zone's bias at the simulated time, as event
    // lines do.
    platform::SetTimeZoneBiasClock([clock = m_clock.get()] { return clock->Now(); });
  } else {
    m_clock = std::make_unique<platform::SystemClock>();
  }
  m_merge = std::make_unique<Merge>(m_reconciler);
  m_statusTap = std::make_unique<StatusTap>(ports.status);
  platform::Timer& timer = m_steppedTimer ? *m_steppedTimer : ports.timer;
  MonitorPorts frame{m_tracker, ports.settings,   ports.sound, ports.messenger, timer,
                     m_workers, ports.dispatcher, *m_clock,    *m_statusTap};
  // history.xml is opened once: its check goes into the log after the
  // start-up line, and its entries into the history.
  m_frame = std::make_unique<Monitor>(frame, [this] {
    m_historyCheck = m_history.Load();
    return m_historyCheck.message;
  });
  m_frame->SetView(m_merge.get());
}

Session::~Session() {
  m_frame->Shutdown();
  if (m_stack.simulation) platform::SetTimeZoneBiasClock({});
}

void Session::SetObservers(Observers observers) {
  m_statusTap->m_onLine = std::move(observers.onEventLine);
  m_merge->m_onMerged = std::move(observers.onMergedRecord);
}

SessionBuilder::SessionBuilder(const StackSource& stacks, const HostPorts& ports)
    : m_stacks(stacks), m_ports(ports) {}

SessionBuilder& SessionBuilder::Stack(std::string choice) {
  m_stack = std::move(choice);
  return *this;
}

SessionBuilder& SessionBuilder::DataFolder(std::string folder) {
  m_dataFolder = std::move(folder);
  return *this;
}

SessionBuilder& SessionBuilder::SteppedClock(bool stepped) {
  m_stepped = stepped;
  return *this;
}

std::unique_ptr<Session> SessionBuilder::Build(SessionFailure& failure) const {
  if (!m_dataFolder.empty()) platform::SetDataFolderOverride(m_dataFolder);
  StackRequest request;
  request.choice = m_stack;
  request.pairingAgent = m_ports.settings.ReadInt(kAgentSection, kAgentKey, 0) != 0;
  request.steppedTime = m_stepped;
  OpenedStack opened = m_stacks.Open(request);
  if (!opened.stack) {
    failure.kind = opened.failure;
    failure.message = opened.message;
    return nullptr;
  }
  // Nobody may take simulated devices for real ones.
  if (opened.simulation)
    m_ports.status.SetStatusText(opened.stack->Description() +
                                 " - a simulation, none of its devices is real");
  const bool stepped = m_stepped && opened.simulation != nullptr;
  return std::unique_ptr<Session>(new Session(std::move(opened), m_ports, stepped));
}

}  // namespace wren
