#pragma once
// Stand-ins for the ports of the main frame: a Bluetooth stack whose radios,
// devices and events a test sets, a timer whose ticks the test fires, workers
// the test runs by hand, a dispatcher queue the test drains as the
// user-interface thread would, and a clock set to the second.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "core/monitor/Monitor.h"
#include "ports/BluetoothStack.h"
#include "ports/Clock.h"
#include "ports/Dispatcher.h"
#include "ports/Timer.h"
#include "ports/Workers.h"

namespace wren::test {

// Thread-safe: scans may run on several workers while a test thread
// delivers events.
class FakeStack : public platform::BluetoothStack {
public:
  void SetRadios(std::vector<platform::RadioInfo> radios) {
    std::lock_guard lock(m_mutex);
    m_radios = std::move(radios);
  }
  void SetDevices(std::vector<platform::DeviceInfo> devices) {
    std::lock_guard lock(m_mutex);
    m_devices = std::move(devices);
  }
  // While held, every device search blocks until released or cancelled.
  void HoldSearches(bool hold) {
    {
      std::lock_guard lock(m_mutex);
      m_hold = hold;
    }
    m_changed.notify_all();
  }
  // Called at the start of every device search, on the searching thread.
  void OnSearch(std::function<void()> hook) {
    std::lock_guard lock(m_mutex);
    m_onSearch = std::move(hook);
  }

  platform::DeviceSearch LastSearch() const {
    std::lock_guard lock(m_mutex);
    return m_lastSearch;
  }
  int FindRadiosCalls() const { return m_findRadios.load(); }
  int SearchCalls() const { return m_searches.load(); }
  int SearchesCancelled() const { return m_cancelled.load(); }
  int SearchesWaiting() const { return m_waiting.load(); }
  // The most device searches that ran at the same time.
  int MostSearchesAtOnce() const { return m_mostAtOnce.load(); }
  std::size_t RadioSinks() const { return CountSinks(false); }
  std::size_t TreeSinks() const { return CountSinks(true); }

  // Delivers one notification as the stack's thread would: custom events to
  // the radio registrations, device-tree changes to the watchers.
  void Deliver(const platform::DeviceChange& change) {
    std::lock_guard delivery(m_deliveryMutex);
    std::vector<platform::DeviceChangeSink*> targets;
    {
      std::lock_guard lock(m_mutex);
      bool tree = change.eventType == platform::kDeviceNodesChanged;
      for (const auto& [id, entry] : m_sinks)
        if (entry.tree == tree) targets.push_back(entry.sink);
    }
    for (auto* sink : targets) sink->OnDeviceChange(change);
  }

  std::string Description() const override { return "test stack"; }
  bool IsSimulation() const override { return true; }

  std::unique_ptr<platform::RadioFind> FindRadios() override {
    ++m_findRadios;
    std::lock_guard lock(m_mutex);
    if (m_radios.empty()) return nullptr;
    return std::make_unique<Find>(m_radios);
  }

  std::unique_ptr<platform::DeviceFind> FindDevices(const platform::DeviceSearch& search,
                                                    std::stop_token cancel) override {
    ++m_searches;
    const int atOnce = ++m_atOnce;
    for (int most = m_mostAtOnce.load();
         atOnce > most && !m_mostAtOnce.compare_exchange_weak(most, atOnce);) {
    }
    struct Leave {
      std::atomic<int>& n;
      ~Leave() { --n; }
    } leave{m_atOnce};
    std::function<void()> hook;
    {
      std::lock_guard lock(m_mutex);
      hook = m_onSearch;
      m_lastSearch = search;
    }
    if (hook) hook();
    std::unique_lock lock(m_mutex);
    if (m_hold) {
      ++m_waiting;
      m_changed.wait(lock, cancel, [this] { return !m_hold; });
      --m_waiting;
      if (cancel.stop_requested()) {
        ++m_cancelled;
        return nullptr;
      }
    }
    if (m_devices.empty()) return nullptr;
    return std::make_unique<platform::SnapshotDeviceFind>(m_devices);
  }

  platform::LookupStatus LookUpDevices(std::vector<platform::BluetoothAddress>&,
                                       std::stop_token) override {
    return platform::LookupStatus::Unavailable;
  }
  bool LookUpServices(platform::BluetoothAddress, std::vector<platform::ServiceRecord>&,
                      std::stop_token) override {
    return false;
  }

  std::unique_ptr<platform::NotificationHandle> RegisterRadioEvents(
      const platform::RadioHandle&, platform::DeviceChangeSink& sink) override {
    return Register(sink, false);
  }
  std::unique_ptr<platform::NotificationHandle> WatchDeviceTree(
      platform::DeviceChangeSink& sink) override {
    return Register(sink, true);
  }

private:
  struct Entry {
    platform::DeviceChangeSink* sink;
    bool tree;
  };

  class Find : public platform::RadioFind {
  public:
    explicit Find(std::vector<platform::RadioInfo> radios) : m_radios(std::move(radios)) {}
    std::unique_ptr<platform::RadioHandle> Next() override {
      if (m_next >= m_radios.size()) return nullptr;
      return std::make_unique<Radio>(m_radios[m_next++]);
    }

  private:
    std::vector<platform::RadioInfo> m_radios;
    std::size_t m_next = 0;
  };

  class Radio : public platform::RadioHandle {
  public:
    explicit Radio(platform::RadioInfo info) : m_info(std::move(info)) {}
    bool GetInfo(platform::RadioInfo& info) const override {
      info = m_info;
      return true;
    }

  private:
    platform::RadioInfo m_info;
  };

  class Registration : public platform::NotificationHandle {
  public:
    Registration(FakeStack& stack, int id) : m_stack(stack), m_id(id) {}
    ~Registration() override {
      // Waits for a delivery in progress, as the port promises.
      std::lock_guard delivery(m_stack.m_deliveryMutex);
      std::lock_guard lock(m_stack.m_mutex);
      m_stack.m_sinks.erase(m_id);
    }

  private:
    FakeStack& m_stack;
    int m_id;
  };

  std::unique_ptr<platform::NotificationHandle> Register(platform::DeviceChangeSink& sink,
                                                         bool tree) {
    std::lock_guard lock(m_mutex);
    int id = ++m_lastId;
    m_sinks[id] = Entry{&sink, tree};
    return std::make_unique<Registration>(*this, id);
  }

  std::size_t CountSinks(bool tree) const {
    std::lock_guard lock(m_mutex);
    std::size_t n = 0;
    for (const auto& [id, entry] : m_sinks) n += entry.tree == tree ? 1 : 0;
    return n;
  }

  mutable std::mutex m_mutex;
  std::mutex m_deliveryMutex;
  std::condition_variable_any m_changed;
  std::vector<platform::RadioInfo> m_radios;
  std::vector<platform::DeviceInfo> m_devices;
  bool m_hold = false;
  std::function<void()> m_onSearch;
  platform::DeviceSearch m_lastSearch;
  std::map<int, Entry> m_sinks;
  int m_lastId = 0;
  std::atomic<int> m_findRadios{0};
  std::atomic<int> m_searches{0};
  std::atomic<int> m_cancelled{0};
  std::atomic<int> m_waiting{0};
  std::atomic<int> m_atOnce{0};
  std::atomic<int> m_mostAtOnce{0};
};

class FakeTimer : public platform::Timer {
public:
  struct Created {
    std::uint32_t eventId;
    std::int32_t periodMs;
  };
  std::vector<Created> created;
  std::vector<Id> kills;
  bool refuseCreate = false;
  bool refuseKill = false;

  Id Create(std::uint32_t eventId, std::int32_t periodMs, TickHandler onTick) override {
    created.push_back({eventId, periodMs});
    if (refuseCreate) return 0;
    Id id = ++m_last;
    m_live[id] = std::move(onTick);
    return id;
  }
  bool Kill(Id id) override {
    kills.push_back(id);
    if (refuseKill) return false;
    return m_live.erase(id) == 1;
  }
  std::size_t Live() const { return m_live.size(); }
  // One tick of every live timer, as the window timer would deliver it.
  void Tick() {
    auto live = m_live;
    for (auto& [id, handler] : live) handler(id);
  }

private:
  std::map<Id, TickHandler> m_live;
  Id m_last = 0;
};

// Workers queued until the test runs them on its own thread.
class ManualWorkers : public platform::WorkerStarter {
public:
  int started = 0;
  bool refuse = false;

  bool Start(Work work) override {
    ++started;
    if (m_closed || refuse) return false;
    m_pending.push_back(std::move(work));
    return true;
  }
  void StopAll() override {
    m_closed = true;
    m_stop.request_stop();
    RunAll();
  }
  void RunAll() {
    while (!m_pending.empty()) {
      Work work = std::move(m_pending.front());
      m_pending.pop_front();
      work(m_stop.get_token());
    }
  }
  std::size_t Pending() const { return m_pending.size(); }

private:
  std::deque<Work> m_pending;
  std::stop_source m_stop;
  bool m_closed = false;
};

// Tasks queued from any thread, run when the test (the user-interface
// thread) drains the queue.
class QueueDispatcher : public platform::Dispatcher {
public:
  void Post(std::function<void()> task) override {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
  }
  // Runs tasks until the queue is empty (tasks may post more); returns how
  // many ran.
  int RunPending() {
    int ran = 0;
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard lock(m_mutex);
        if (m_tasks.empty()) return ran;
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
      }
      task();
      ++ran;
    }
  }
  std::size_t Size() const {
    std::lock_guard lock(m_mutex);
    return m_tasks.size();
  }

private:
  mutable std::mutex m_mutex;
  std::deque<std::function<void()>> m_tasks;
};

class FixedClock : public platform::Clock {
public:
  explicit FixedClock(std::time_t t) : m_now(t) {}
  std::time_t Now() const override { return m_now.load(); }
  void Set(std::time_t t) { m_now = t; }

private:
  std::atomic<std::time_t> m_now;
};

class RecordingStatus : public StatusSink {
public:
  struct Logged {
    std::string line;
    bool written;
  };
  std::vector<std::string> texts;
  std::vector<Logged> logged;

  void SetStatusText(const std::string& text) override { texts.push_back(text); }
  void OnLogged(const std::string& line, const LogResult& result) override {
    logged.push_back({line, result.written});
  }
};

class RecordingView : public ScanConsumer {
public:
  std::vector<DeviceList> scans;
  void ReconcileScan(const DeviceList& scan) override { scans.push_back(scan); }
};

}  // namespace wren::test
