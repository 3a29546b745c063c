// Overlapping scans and device events on real threads: workers scan while
// the stack's thread delivers events and the user-interface thread ticks,
// runs and stops. Built and run under ThreadSanitizer by the test script.

#include <chrono>
#include <thread>

#include "MonitorFixture.h"
#include "core/monitor/ThreadWorkers.h"
#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimulatedStack.h"

namespace wren::test {
namespace {

using namespace std::chrono_literals;

// Checks that every merge runs on the user-interface thread, one at a time.
class SerialView : public ScanConsumer {
public:
  explicit SerialView(std::thread::id ui) : m_ui(ui) {}
  void ReconcileScan(const DeviceList& scan) override {
    EXPECT_EQ(std::this_thread::get_id(), m_ui);
    EXPECT_FALSE(m_inMerge.exchange(true));
    rows += scan.size();
    ++merges;
    m_inMerge = false;
  }
  std::size_t rows = 0;
  int merges = 0;

private:
  std::thread::id m_ui;
  std::atomic<bool> m_inMerge{false};
};

class MonitorConcurrency : public MonitorFixture {
protected:
  MonitorPorts ThreadPorts() {
    return MonitorPorts{stack, store, sound, messenger, timer, threads, dispatcher, clock, status};
  }
  // Run as the window does it: the dialog's values change (while workers
  // run), then the frame is told to start.
  static void Run(Monitor& f) {
    f.SearchDialog().LoadSettings();
    f.RunMonitoring();
  }
  ThreadWorkers threads;
};

TEST_F(MonitorConcurrency, OverlappingScansAndEventsMergeOneAtATime) {
  SerialView serial(std::this_thread::get_id());
  stack.OnSearch([] { std::this_thread::sleep_for(200us); });
  Monitor f(ThreadPorts());
  f.OnCreate();
  f.SetView(&serial);
  Run(f);

  std::atomic<bool> done{false};
  std::thread events([&] {
    for (int i = 0; i < 300; ++i) {
      platform::DeviceChange c;
      c.eventType = platform::kCustomEvent;
      c.hasRecord = true;
      c.eventGuid = (i % 3 == 0) ? platform::kRadioInRangeGuid : platform::kHciEventGuid;
      c.bthAddress = kPhone;
      c.address = kPhone;
      c.flags = static_cast<std::uint32_t>(i) & 0x3F;
      c.connected = i % 2 == 0;
      c.name = "Phone";
      stack.Deliver(c);
      if (i % 50 == 25) {
        // The device list changes under running scans.
        stack.SetDevices({MakeDevice(kPhone, "Phone"), MakeDevice(kPhone.Value() + i, "Other")});
      }
      if (i % 10 == 0) std::this_thread::sleep_for(100us);
    }
    done = true;
  });

  int rounds = 0;
  while (!done || dispatcher.Size() > 0 || threads.Running() > 0) {
    dispatcher.RunPending();
    if (rounds % 7 == 0) timer.Tick();
    if (rounds % 97 == 0) Run(f);
    if (rounds % 211 == 0) {
      f.OnStopMonitoring();
      Run(f);
    }
    ++rounds;
    std::this_thread::sleep_for(50us);
  }
  events.join();
  threads.WaitIdle();
  dispatcher.RunPending();

  // Every Run registers afresh, and an event that falls between dropping
  // the old registration and making the new one is not delivered; all
  // others are logged. However many ask, one scan runs at a time.
  EXPECT_LE(status.texts.size(), 300u);
  EXPECT_GT(status.texts.size(), 200u);
  EXPECT_EQ(stack.MostSearchesAtOnce(), 1);
  EXPECT_EQ(static_cast<std::uint64_t>(serial.merges), f.ScansMerged());
  EXPECT_GT(serial.merges, 0);
  // A scan holds the radio and one or two devices, never a mix of two scans.
  EXPECT_GE(serial.rows, 2u * static_cast<std::size_t>(serial.merges));
  EXPECT_LE(serial.rows, 3u * static_cast<std::size_t>(serial.merges));
  f.Shutdown();
}

TEST_F(MonitorConcurrency, ShutdownCancelsRunningInquiriesAndWaitsForThem) {
  SerialView serial(std::this_thread::get_id());
  stack.HoldSearches(true);
  Monitor f(ThreadPorts());
  f.OnCreate();
  f.SetView(&serial);
  Run(f);
  for (int i = 0; i < 8; ++i) f.StartScanWorker();  // one follow-up, no more
  while (stack.SearchesWaiting() < 1) std::this_thread::sleep_for(1ms);

  // Events keep arriving from the stack's thread while the frame closes.
  std::atomic<bool> stop{false};
  std::thread events([&] {
    platform::DeviceChange pin;
    pin.eventType = platform::kCustomEvent;
    pin.hasRecord = true;
    pin.eventGuid = platform::kPinRequestGuid;
    while (!stop) {
      stack.Deliver(pin);
      std::this_thread::sleep_for(100us);
    }
  });
  std::this_thread::sleep_for(5ms);
  f.Shutdown();
  EXPECT_EQ(threads.Running(), 0u);
  EXPECT_GE(stack.SearchesCancelled(), 1);
  EXPECT_EQ(stack.MostSearchesAtOnce(), 1);
  EXPECT_EQ(stack.RadioSinks(), 0u);
  stop = true;
  events.join();
  dispatcher.RunPending();  // whatever was still queued is dropped
  EXPECT_EQ(serial.merges, 0);
  std::size_t texts = status.texts.size();
  dispatcher.RunPending();
  EXPECT_EQ(status.texts.size(), texts);
}

// The simulated stack on the wall clock plays a fast timeline from its own
// thread, every event kind and the adapter pulled and plugged back, while
// ticks ask for scans faster than they finish.
constexpr const char* kBusyScenario = R"(<?xml version="1.0"?>
<scenario name="busy">
  <radio id="a" address="00:02:5B:00:00:01" name="Alpha"/>
  <radio id="b" address="00:02:5B:00:00:02" name="Beta"/>
  <device address="00:15:2A:00:00:01" name="One" remembered="yes" radios="a b"/>
  <device address="00:15:2A:00:00:02" name="Two" authenticated="yes" radios="b"/>
  <device address="00:15:2A:00:00:03" name="Three"/>
  <timeline repeat="0.1">
    <in-range at="0.005" device="00:15:2A:00:00:01" flags="0x24" previous="0"/>
    <hci-connect at="0.01" device="00:15:2A:00:00:02"/>
    <l2cap-connect at="0.02" device="00:15:2A:00:00:02" initiated="yes"/>
    <pin-request at="0.03" device="00:15:2A:00:00:03"/>
    <l2cap-disconnect at="0.04" device="00:15:2A:00:00:02"/>
    <hci-disconnect at="0.05" device="00:15:2A:00:00:02"/>
    <out-of-range at="0.06" device="00:15:2A:00:00:01"/>
    <adapter-removed at="0.07" radio="b"/>
    <custom at="0.075"/>
    <adapter-inserted at="0.08" radio="b"/>
    <in-range at="0.09" device="00:15:2A:00:00:03" flags="0x04" previous="0" name="Renamed"/>
  </timeline>
</scenario>
)";

TEST_F(MonitorConcurrency, SimulatedStackThreadDeliversWhileTicksAskForScans) {
  sim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(sim::ParseScenario(kBusyScenario, "busy.xml", scenario, error)) << error;
  sim::SimulatedStack sim(std::move(scenario), sim::TimeMode::Wall, "busy");
  SerialView serial(std::this_thread::get_id());
  {
    Monitor f(
        MonitorPorts{sim, store, sound, messenger, timer, threads, dispatcher, clock, status});
    f.OnCreate();
    f.SetView(&serial);
    Run(f);
    auto until = std::chrono::steady_clock::now() + 1500ms;
    int rounds = 0;
    while (std::chrono::steady_clock::now() < until) {
      dispatcher.RunPending();
      if (++rounds % 5 == 0) timer.Tick();
      if (rounds % 200 == 0) Run(f);
      std::this_thread::sleep_for(200us);
    }
    f.Shutdown();
    dispatcher.RunPending();
    EXPECT_GT(status.texts.size(), 20u);
    EXPECT_GT(serial.merges, 10);
    EXPECT_EQ(static_cast<std::uint64_t>(serial.merges), f.ScansMerged());
  }
  EXPECT_EQ(threads.Running(), 0u);
}

TEST(MonitorThreadWorkers, ReapsFinishedWorkersAndRefusesAfterStop) {
  ThreadWorkers workers;
  std::atomic<int> ran{0};
  for (int i = 0; i < 50; ++i) EXPECT_TRUE(workers.Start([&](std::stop_token) { ++ran; }));
  workers.WaitIdle();
  EXPECT_EQ(ran.load(), 50);
  EXPECT_EQ(workers.Running(), 0u);
  std::atomic<bool> sawStop{false};
  EXPECT_TRUE(workers.Start([&](std::stop_token stop) {
    while (!stop.stop_requested()) std::this_thread::sleep_for(100us);
    sawStop = true;
  }));
  workers.StopAll();
  EXPECT_TRUE(sawStop.load());
  EXPECT_FALSE(workers.Start([&](std::stop_token) { ++ran; }));
  EXPECT_EQ(ran.load(), 50);
}

}  // namespace
}  // namespace wren::test
