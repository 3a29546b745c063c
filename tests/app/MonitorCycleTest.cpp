// The monitoring cycle: Run, Stop, the timer tick with its restart, scan
// workers, and the state table of the frame.

#include "MonitorFixture.h"

namespace wren::test {
namespace {

using Cycle = MonitorFixture;

// A device coming into range: logged, and a reason to scan.
platform::DeviceChange InRangeChange() {
  platform::DeviceChange c;
  c.eventType = platform::kCustomEvent;
  c.hasRecord = true;
  c.eventGuid = platform::kRadioInRangeGuid;
  c.address = kPhone;
  c.flags = platform::kFlagName;
  c.name = "Phone";
  return c;
}

TEST_F(Cycle, ConstructionIsIdleAndTestsPresence) {
  Monitor& f = MakeFrame();
  EXPECT_FALSE(f.Monitoring());
  EXPECT_EQ(f.TimerId(), 0u);
  EXPECT_EQ(f.PeriodMs(), 1000);
  EXPECT_FALSE(f.RestartPending());
  EXPECT_TRUE(f.RadioPresent());
  // Registered for the events of the one radio and for adapter changes.
  EXPECT_EQ(f.RegisteredRadios(), 1u);
  EXPECT_EQ(stack.RadioSinks(), 1u);
  EXPECT_EQ(stack.TreeSinks(), 1u);
  EXPECT_EQ(workers.started, 0);
  EXPECT_TRUE(timer.created.empty());
}

TEST_F(Cycle, PeriodFromUpdateSpeedAndOneScanAtOnce) {
  store.WriteInt("Settings", "UpdateSpeed", 5);
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  ASSERT_EQ(timer.created.size(), 1u);
  EXPECT_EQ(timer.created[0].eventId, 1u);
  EXPECT_EQ(timer.created[0].periodMs, 5000);
  EXPECT_EQ(f.PeriodMs(), 5000);
  EXPECT_NE(f.TimerId(), 0u);
  EXPECT_TRUE(f.Monitoring());
  EXPECT_TRUE(f.RestartPending());
  EXPECT_EQ(workers.started, 1);

  RunWorkers();
  ASSERT_EQ(view.scans.size(), 1u);
  // The radio's own record, then the phone.
  ASSERT_EQ(view.scans[0].size(), 2u);
  EXPECT_EQ(view.scans[0].front().m_isLocalRadio, 1);
  EXPECT_EQ(view.scans[0].back().m_address, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(view.scans[0].back().m_name, "Phone");
}

TEST_F(Cycle, FirstTickRestartsWithExactlyOneScanThenOnePerTick) {
  store.WriteInt("Settings", "UpdateSpeed", 5);
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  platform::Timer::Id first = f.TimerId();
  ASSERT_EQ(workers.started, 1);
  RunWorkers();

  timer.Tick();
  // The restart killed the first timer, made a new one and started one scan.
  EXPECT_EQ(workers.started, 2);
  ASSERT_EQ(timer.created.size(), 2u);
  EXPECT_EQ(timer.created[1].periodMs, 5000);
  ASSERT_FALSE(timer.kills.empty());
  EXPECT_EQ(timer.kills.back(), first);
  EXPECT_NE(f.TimerId(), first);
  EXPECT_EQ(timer.Live(), 1u);
  EXPECT_FALSE(f.RestartPending());

  RunWorkers();
  timer.Tick();
  EXPECT_EQ(workers.started, 3);
  RunWorkers();
  timer.Tick();
  EXPECT_EQ(workers.started, 4);
  EXPECT_EQ(timer.created.size(), 2u);

  RunWorkers();
  EXPECT_EQ(view.scans.size(), 4u);
  EXPECT_EQ(f.ScansMerged(), 4u);
}

// A scan that has not been merged yet is never joined by another: ticks and
// device events meanwhile ask for one follow-up scan, which starts once the
// first is merged. Every event is still logged.
TEST_F(Cycle, OneScanAtATimeAndOneFollowUpForEverythingAskedMeanwhile) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  ASSERT_EQ(workers.started, 1);
  EXPECT_TRUE(f.ScanInFlight());
  const std::size_t loggedBefore = status.logged.size();
  for (int i = 0; i < 500; ++i) {
    f.OnDeviceChange(InRangeChange());
    timer.Tick();
  }
  EXPECT_EQ(workers.started, 1) << "no second scan while one runs";
  EXPECT_EQ(workers.Pending(), 1u);
  EXPECT_TRUE(f.ScanAgain());
  EXPECT_EQ(status.logged.size(), loggedBefore + 500) << "every event line is logged";

  // The first scan is merged; the one follow-up starts, and nothing more.
  workers.RunAll();
  EXPECT_EQ(dispatcher.Size(), 1u) << "one result waits, not one per event";
  dispatcher.RunPending();
  EXPECT_EQ(f.ScansMerged(), 1u);
  EXPECT_EQ(workers.started, 2);
  EXPECT_FALSE(f.ScanAgain());
  RunWorkers();
  EXPECT_EQ(f.ScansMerged(), 2u);
  EXPECT_EQ(workers.started, 2);
  EXPECT_FALSE(f.ScanInFlight());

  // Idle again: the next tick scans at once.
  timer.Tick();
  EXPECT_EQ(workers.started, 3);
}

// A worker that ends without scanning (monitoring stopped, no radio) still
// lets the next scan start.
TEST_F(Cycle, AScanThatEndsWithoutResultFreesTheWay) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  f.OnStopMonitoring();
  f.OnDeviceChange(InRangeChange());
  EXPECT_EQ(workers.started, 1);
  RunWorkers();  // returns at once: monitoring has stopped
  EXPECT_EQ(f.ScansMerged(), 0u);
  EXPECT_EQ(workers.started, 2) << "the follow-up asked for meanwhile";
  RunWorkers();
  EXPECT_FALSE(f.ScanInFlight());
  f.OnDeviceChange(InRangeChange());
  EXPECT_EQ(workers.started, 3);
}

TEST_F(Cycle, RestartRereadsThePeriod) {
  store.WriteInt("Settings", "UpdateSpeed", 5);
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  store.WriteInt("Settings", "UpdateSpeed", 7);
  timer.Tick();
  EXPECT_EQ(f.PeriodMs(), 7000);
  EXPECT_EQ(timer.created.back().periodMs, 7000);
}

TEST_F(Cycle, RefreshSpeedBelowOneSecondCountsAsOne) {
  struct Case {
    std::optional<std::int64_t> stored;
    std::int32_t periodMs;
  };
  const Case cases[] = {
      {std::nullopt, 2000}, {0, 1000}, {-3, 1000}, {1, 1000}, {60, 60000}, {4000000, 2147483000},
  };
  for (const Case& c : cases) {
    platform::MemorySettingsStore fresh;
    store = fresh;
    if (c.stored) store.WriteInt("Settings", "UpdateSpeed", *c.stored);
    Monitor& f = MakeFrame();
    f.RunMonitoring();
    EXPECT_EQ(f.PeriodMs(), c.periodMs) << (c.stored ? std::to_string(*c.stored) : "absent");
    EXPECT_EQ(timer.created.back().periodMs, c.periodMs);
    frame.reset();
  }
  EXPECT_EQ(RefreshPeriodMs(std::numeric_limits<std::int64_t>::min()), 1000);
  EXPECT_EQ(RefreshPeriodMs(std::numeric_limits<std::int64_t>::max()), 2147483000);
}

TEST_F(Cycle, RunTwiceKillsTheFirstTimerAndStartsOneScanEach) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  platform::Timer::Id first = f.TimerId();
  EXPECT_EQ(workers.started, 1);
  RunWorkers();
  f.RunMonitoring();
  EXPECT_EQ(workers.started, 2);
  ASSERT_EQ(timer.kills.size(), 1u);
  EXPECT_EQ(timer.kills[0], first);
  EXPECT_EQ(timer.created.size(), 2u);
  EXPECT_EQ(timer.Live(), 1u);
  EXPECT_TRUE(f.RestartPending());
  // The first tick after the second Run still restarts once.
  RunWorkers();
  timer.Tick();
  EXPECT_EQ(workers.started, 3);
  EXPECT_EQ(timer.created.size(), 3u);
  RunWorkers();
  timer.Tick();
  EXPECT_EQ(workers.started, 4);
  EXPECT_EQ(timer.created.size(), 3u);
}

TEST_F(Cycle, StopKillsTheTimerAndNoTicksFollow) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  f.OnStopMonitoring();
  EXPECT_FALSE(f.Monitoring());
  EXPECT_EQ(f.TimerId(), 0u);
  EXPECT_EQ(timer.Live(), 0u);
  // A tick that was already on its way does nothing once the id is 0.
  f.OnTimer(1);
  EXPECT_EQ(workers.started, 1);
  // Stop leaves the event registration alone.
  EXPECT_EQ(stack.RadioSinks(), 1u);
}

TEST_F(Cycle, RunWithoutAdapterShowsTextStartsOneWorkerAndNoTimer) {
  stack.SetRadios({});
  Monitor& f = MakeFrame();
  EXPECT_FALSE(f.RadioPresent());
  EXPECT_EQ(stack.RadioSinks(), 0u);
  f.RunMonitoring();
  ASSERT_FALSE(status.texts.empty());
  EXPECT_EQ(status.texts.back(),
            "Bluetooth Adapter was not detected or not Microsoft Bluetooth driver was Installed !");
  EXPECT_TRUE(timer.created.empty());
  EXPECT_EQ(f.TimerId(), 0u);
  EXPECT_TRUE(f.Monitoring());  // running without timer
  EXPECT_EQ(workers.started, 1);
  RunWorkers();
  EXPECT_TRUE(view.scans.empty());  // no radio: the worker returned at once
  EXPECT_EQ(stack.SearchCalls(), 0);

  // An adapter plugged in later: its line, registration and one scan, but
  // still no timer.
  stack.SetRadios({{0x000102030405ULL, "Desk radio", 0x000104}});
  platform::DeviceChange inserted;
  inserted.eventType = platform::kDeviceNodesChanged;
  stack.Deliver(inserted);
  dispatcher.RunPending();
  EXPECT_TRUE(f.RadioPresent());
  EXPECT_EQ(stack.RadioSinks(), 1u);
  EXPECT_EQ(status.texts.back(), "14:03:59 07/21/2009 - New Bluetooth Adapter Inserted.");
  EXPECT_EQ(workers.started, 2);
  RunWorkers();
  EXPECT_EQ(view.scans.size(), 1u);
  EXPECT_TRUE(timer.created.empty());
  timer.Tick();
  EXPECT_EQ(workers.started, 2);
}

TEST_F(Cycle, RefusedTimerStillRunsTheOneScan) {
  timer.refuseCreate = true;
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  EXPECT_EQ(f.TimerId(), 0u);
  EXPECT_TRUE(f.Monitoring());
  EXPECT_EQ(workers.started, 1);
  RunWorkers();
  EXPECT_EQ(view.scans.size(), 1u);
  // Running without timer: events still bring scans, and they proceed.
  platform::DeviceChange pin;
  pin.eventType = platform::kCustomEvent;
  pin.hasRecord = true;
  pin.eventGuid = platform::kPinRequestGuid;
  f.OnDeviceChange(pin);
  RunWorkers();
  EXPECT_EQ(view.scans.size(), 2u);
  // A later Run tries again.
  timer.refuseCreate = false;
  f.RunMonitoring();
  EXPECT_NE(f.TimerId(), 0u);
}

TEST_F(Cycle, RefusedKillKeepsTheTimerId) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  platform::Timer::Id id = f.TimerId();
  timer.refuseKill = true;
  f.OnStopMonitoring();
  EXPECT_FALSE(f.Monitoring());
  EXPECT_EQ(f.TimerId(), id);
  // Run again: the kill fails, so no new timer and no scan of its own.
  int started = workers.started;
  f.RunMonitoring();
  EXPECT_EQ(f.TimerId(), id);
  EXPECT_EQ(timer.created.size(), 1u);
  EXPECT_EQ(workers.started, started);
  EXPECT_TRUE(f.Monitoring());
}

TEST_F(Cycle, StopWhileScanningStillMergesTheRunningScan) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  // The worker has passed its check and is in the stack when Stop comes.
  stack.OnSearch([&] { f.OnStopMonitoring(); });
  RunWorkers();
  EXPECT_FALSE(f.Monitoring());
  EXPECT_EQ(f.TimerId(), 0u);
  ASSERT_EQ(view.scans.size(), 1u);
  EXPECT_EQ(view.scans[0].back().m_name, "Phone");
}

TEST_F(Cycle, WorkerStartedAfterStopReturnsAtOnce) {
  Monitor& f = MakeFrame();
  platform::DeviceChange pin;
  pin.eventType = platform::kCustomEvent;
  pin.hasRecord = true;
  pin.eventGuid = platform::kPinRequestGuid;
  f.OnDeviceChange(pin);
  EXPECT_EQ(workers.started, 1);
  int findRadios = stack.FindRadiosCalls();
  RunWorkers();
  EXPECT_TRUE(view.scans.empty());
  EXPECT_EQ(stack.SearchCalls(), 0);
  EXPECT_EQ(stack.FindRadiosCalls(), findRadios);
  EXPECT_EQ(dispatcher.Size(), 0u);
}

TEST_F(Cycle, ScanParametersAreTakenWhenTheWorkerStarts) {
  store.WriteInt("DevSearchSettings", "Unknown", 0);
  store.WriteInt("DevSearchSettings", "NewInquiry", 1);
  store.WriteInt("DevSearchSettings", "NewInquiryTimeout", 10);
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  // The dialog changes after the worker started: the worker keeps what it got.
  store.WriteInt("DevSearchSettings", "NewInquiry", 0);
  f.SearchDialog().LoadSettings();
  RunWorkers();
  platform::DeviceSearch seen = stack.LastSearch();
  EXPECT_EQ(seen.returnAuthenticated, 1);
  EXPECT_EQ(seen.returnRemembered, 1);
  EXPECT_EQ(seen.returnUnknown, 0);
  EXPECT_EQ(seen.returnConnected, 1);
  EXPECT_EQ(seen.issueInquiry, 1);
  EXPECT_EQ(seen.timeoutMultiplier, 7);
}

TEST_F(Cycle, RefusedWorkerIsDroppedQuietly) {
  workers.refuse = true;
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  EXPECT_EQ(workers.started, 1);
  EXPECT_EQ(workers.Pending(), 0u);
  EXPECT_TRUE(f.Monitoring());
  EXPECT_NE(f.TimerId(), 0u);
}

TEST_F(Cycle, ResultsArrivingAfterShutdownAreDropped) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  workers.RunAll();  // finished: its result is on its way
  ASSERT_EQ(dispatcher.Size(), 1u);
  f.Shutdown();
  EXPECT_EQ(timer.Live(), 0u);
  EXPECT_EQ(stack.RadioSinks(), 0u);
  EXPECT_EQ(stack.TreeSinks(), 0u);
  dispatcher.RunPending();
  EXPECT_TRUE(view.scans.empty());
  // Nothing starts any more.
  f.RunMonitoring();
  f.StartScanWorker();
  EXPECT_EQ(workers.started, 1);
}

TEST_F(Cycle, ShutdownStopsAWorkerThatWasNotRunYet) {
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  ASSERT_EQ(workers.Pending(), 1u);
  f.Shutdown();  // runs it with stop requested
  EXPECT_EQ(workers.Pending(), 0u);
  dispatcher.RunPending();
  EXPECT_TRUE(view.scans.empty());
}

TEST_F(Cycle, EventsAfterShutdownAreNotHandled) {
  Monitor& f = MakeFrame();
  platform::DeviceChange pin;
  pin.eventType = platform::kCustomEvent;
  pin.hasRecord = true;
  pin.eventGuid = platform::kPinRequestGuid;
  stack.Deliver(pin);  // posted, not yet handled
  f.Shutdown();
  dispatcher.RunPending();
  EXPECT_EQ(workers.started, 0);
  EXPECT_TRUE(status.texts.empty());
}

TEST_F(Cycle, TickFromAKilledTimerAfterDestructionIsHarmless) {
  MakeFrame();
  frame->RunMonitoring();
  timer.refuseKill = true;  // the timer survives the frame
  frame.reset();
  timer.Tick();  // its handler must not reach the gone frame
  EXPECT_EQ(workers.started, 1);
}

}  // namespace
}  // namespace wren::test
