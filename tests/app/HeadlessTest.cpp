// The headless monitor's parts without Qt: its options, the timer on
// stepped time, the inquiry tracking, and a whole stepped run of the main
// frame over the simulated stack.

#include <gtest/gtest.h>

#include "Fakes.h"
#include "MonitorFakes.h"
#include "base/Text.h"
#include "program/HeadlessOptions.h"
#include "core/monitor/Monitor.h"
#include "core/monitor/SteppedTime.h"
#include "core/monitor/ThreadWorkers.h"
#include "adapters/posix/MemorySettingsStore.h"
#include "base/System.h"
#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimulatedStack.h"

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace wren::test {
namespace {

TEST(HeadlessOptionsTest, EveryOption) {
  HeadlessOptions o;
  std::string error;
  ASSERT_TRUE(
      ParseHeadlessOptions({"--headless", "--stack", "sim:lab.xml", "--data-dir=/var/tmp/w",
                            "--run-for", "2.5", "--export", "xml", "out.xml", "--sim-clock",
                            "stepped", "--settings", "my.ini", "--mqtt", "mqtt://broker:1884"},
                           o, error))
      << error;
  EXPECT_EQ(o.stack, "sim:lab.xml");
  EXPECT_EQ(o.dataDir, "/var/tmp/w");
  ASSERT_TRUE(o.runForMs.has_value());
  EXPECT_EQ(*o.runForMs, 2500);
  EXPECT_EQ(o.exportKind, ExportKind::Xml);
  EXPECT_EQ(o.exportPath, "out.xml");
  EXPECT_EQ(o.simClock, SimClockMode::Stepped);
  EXPECT_EQ(o.settingsFile, "my.ini");
  EXPECT_EQ(o.mqttUrl, "mqtt://broker:1884");

  HeadlessOptions d;
  ASSERT_TRUE(ParseHeadlessOptions({"--headless"}, d, error));
  EXPECT_EQ(d.stack, "");
  EXPECT_FALSE(d.runForMs.has_value());
  EXPECT_EQ(d.exportKind, ExportKind::None);
  EXPECT_EQ(d.simClock, SimClockMode::Wall);
  ASSERT_TRUE(ParseHeadlessOptions({"--export=txt", "-", "--headless"}, d, error));
  EXPECT_EQ(d.exportKind, ExportKind::Text);
  EXPECT_EQ(d.exportPath, "-");
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--export", "pdf", "list.pdf"}, d, error));
  EXPECT_EQ(d.exportKind, ExportKind::Pdf);
  EXPECT_EQ(d.exportPath, "list.pdf");
}

TEST(HeadlessOptionsTest, BadUsageSaysWhat) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--headless", "--run-for", "soon"},
       "--run-for takes seconds (like 20 or 0.5), not \"soon\""},
      {{"--headless", "--run-for"}, "--run-for needs a value"},
      {{"--headless", "--export", "html", "x"}, "--export takes txt, xml or pdf, not \"html\""},
      {{"--headless", "--export", "txt"}, "--export txt needs a FILE (- for standard output)"},
      {{"--headless", "--stack", "wifi"}, "--stack takes bluez, sim or sim:FILE, not \"wifi\""},
      {{"--headless", "--sim-clock", "fast"}, "--sim-clock takes wall or stepped, not \"fast\""},
      {{"--headless", "--sim-clock", "stepped"}, "--sim-clock stepped needs --run-for"},
      {{"--headless", "--stack", "bluez", "--sim-clock", "stepped", "--run-for", "1"},
       "--sim-clock stepped needs the simulated stack"},
      {{"--headless", "--frob"}, "unknown option --frob for --headless"},
      {{"--headless", "scan"}, "--headless takes no command, not \"scan\""},
      {{"--headless", "--data-dir", ""}, "--data-dir needs a folder"},
      {{"--headless", "--mqtt"}, "--mqtt needs a value"},
      {{"--headless", "--mqtt="}, "--mqtt needs a broker address like mqtt://host:1883"},
  };
  for (const Case& c : cases) {
    HeadlessOptions o;
    std::string error;
    EXPECT_FALSE(ParseHeadlessOptions(c.args, o, error));
    EXPECT_EQ(error, c.error);
  }
  EXPECT_TRUE(IsHeadlessCommand({"--stack", "sim", "--headless"}));
  EXPECT_FALSE(IsHeadlessCommand({"scan"}));
  EXPECT_FALSE(IsHeadlessCommand({"services", "--", "--headless"}));
}

TEST(HeadlessOptionsTest, Seconds) {
  struct Case {
    const char* text;
    bool ok;
    std::int64_t ms;
  };
  const Case cases[] = {{"20", true, 20000},
                        {"0.5", true, 500},
                        {"1.25", true, 1250},
                        {"0.001", true, 1},
                        {"0", true, 0},
                        {"7.", true, 7000},
                        {".5", true, 500},
                        {"1.0005", false, 0},
                        {"-1", false, 0},
                        {"", false, 0},
                        {".", false, 0},
                        {"1e3", false, 0},
                        {"31622400", true, 31622400000},
                        {"31622401", false, 0},
                        {"99999999999999999999", false, 0}};
  for (const Case& c : cases) {
    std::int64_t ms = -1;
    EXPECT_EQ(ParseSeconds(c.text, ms, kMaxRunSeconds), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(ms, c.ms) << c.text;
    }
  }
}

TEST(VirtualTimerTest, TicksOncePerPeriodAndFollowsKills) {
  VirtualTimer timer;
  std::vector<std::pair<std::int64_t, platform::Timer::Id>> ticks;
  platform::Timer::Id a =
      timer.Create(1, 2000, [&](platform::Timer::Id id) { ticks.emplace_back(timer.NowMs(), id); });
  ASSERT_NE(a, 0u);
  EXPECT_EQ(timer.NextDue(), 2000);
  timer.FireDue(1999);
  EXPECT_TRUE(ticks.empty());
  timer.FireDue(2000);
  timer.FireDue(4000);
  ASSERT_EQ(ticks.size(), 2u);
  EXPECT_EQ(ticks[1].first, 4000);
  // Late by several periods: one tick, then due a period on.
  timer.FireDue(11000);
  EXPECT_EQ(ticks.size(), 3u);
  EXPECT_EQ(timer.NextDue(), 12000);
  // The same event id replaces the timer; a zero period is refused.
  platform::Timer::Id b =
      timer.Create(1, 500, [&](platform::Timer::Id id) { ticks.emplace_back(timer.NowMs(), id); });
  EXPECT_NE(b, a);
  EXPECT_FALSE(timer.Kill(a));
  EXPECT_EQ(timer.NextDue(), 11500);
  EXPECT_EQ(timer.Create(2, 0, [](platform::Timer::Id) {}), 0u);
  EXPECT_TRUE(timer.Kill(b));
  EXPECT_FALSE(timer.NextDue().has_value());
  timer.FireDue(20000);
  EXPECT_EQ(ticks.size(), 3u);
}

TEST(VirtualTimerTest, AHandlerMayReplaceItsOwnTimer) {
  VirtualTimer timer;
  int ticks = 0;
  std::function<void(platform::Timer::Id)> restart;
  restart = [&](platform::Timer::Id id) {
    ++ticks;
    EXPECT_TRUE(timer.Kill(id));
    timer.Create(1, 1000, restart);
  };
  timer.Create(1, 1000, restart);
  timer.FireDue(1000);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer.NextDue(), 2000);
  timer.FireDue(2000);
  EXPECT_EQ(ticks, 2);
}

TEST(InquiryTrackerTest, CountsSearchesAndWaitingInquiries) {
  FakeStack stack;
  stack.SetRadios({{1, "r", 0}});
  std::atomic<std::int64_t> now{1000};
  InquiryTracker tracker(stack, [&] { return now.load(); });
  platform::DeviceSearch plain;
  tracker.FindDevices(plain, {});
  EXPECT_EQ(tracker.SearchesEntered(), 1u);
  EXPECT_FALSE(tracker.EarliestInquiryEnd().has_value());

  stack.HoldSearches(true);
  platform::DeviceSearch inquiry;
  inquiry.issueInquiry = 1;
  inquiry.timeoutMultiplier = 3;
  std::thread worker([&] { tracker.FindDevices(inquiry, {}); });
  while (stack.SearchesWaiting() == 0) std::this_thread::yield();
  EXPECT_EQ(tracker.SearchesEntered(), 2u);
  EXPECT_EQ(tracker.EarliestInquiryEnd(), 1000 + 3 * 1280);
  EXPECT_EQ(tracker.InquiriesWaiting(1000), 1u);
  EXPECT_EQ(tracker.InquiriesWaiting(4840), 0u);  // due: no longer waiting for time
  stack.HoldSearches(false);
  worker.join();
  EXPECT_FALSE(tracker.EarliestInquiryEnd().has_value());
  EXPECT_EQ(tracker.InquiriesWaiting(0), 0u);
}

constexpr const char* kInquiryScenario = R"(<?xml version="1.0"?>
<scenario name="inquiries" start="2009-07-21 14:03:58">
  <radio id="a" address="00:02:5B:00:00:01" name="Alpha"/>
  <device address="00:15:2A:00:00:01" name="One" remembered="yes"/>
  <device address="00:15:2A:00:00:02" name="Stranger"/>
  <timeline>
    <in-range at="1.5" device="00:15:2A:00:00:01" flags="0x04" previous="0"/>
    <hci-connect at="4" device="00:15:2A:00:00:01"/>
  </timeline>
</scenario>
)";

class SimClock : public platform::Clock {
public:
  explicit SimClock(const sim::SimulatedStack& s) : m_s(s) {}
  std::time_t Now() const override {
    return static_cast<std::time_t>(sim::ToEpochSeconds(m_s.UtcNow()));
  }

private:
  const sim::SimulatedStack& m_s;
};

// Every merge with the simulated time it happened at.
class TimedView : public ScanConsumer {
public:
  explicit TimedView(const sim::SimulatedStack& s) : m_s(s) {}
  void ReconcileScan(const DeviceList& scan) override {
    std::string addresses;
    for (const auto& r : scan) addresses += r.m_address + " ";
    merges.push_back(std::to_string(m_s.NowMs()) + ": " + addresses);
  }
  std::vector<std::string> merges;

private:
  const sim::SimulatedStack& m_s;
};

struct SteppedResult {
  std::vector<std::string> merges;
  std::vector<std::string> lines;
};

SteppedResult RunStepped(const std::string& dir) {
  sim::Scenario scenario;
  std::string error;
  EXPECT_TRUE(sim::ParseScenario(kInquiryScenario, "inquiries.xml", scenario, error)) << error;
  sim::SimulatedStack sim(std::move(scenario), sim::TimeMode::Stepped, "inquiries");
  InquiryTracker tracker(sim, [&sim] { return sim.NowMs(); });
  platform::MemorySettingsStore store;
  store.WriteInt("Settings", "UpdateSpeed", 5);
  store.WriteInt("DevSearchSettings", "NewInquiry", 1);
  store.WriteInt("DevSearchSettings", "NewInquiryTimeout", 5);  // 4 units: 5.12 s
  FakeSoundOutput sound;
  FakeMessenger messenger;
  VirtualTimer timer;
  ThreadWorkers workers;
  QueueDispatcher dispatcher;
  SimClock clock(sim);
  RecordingStatus status;
  TimedView view(sim);
  platform::SetDataFolderOverride(dir);
  {
    Monitor frame(
        MonitorPorts{tracker, store, sound, messenger, timer, workers, dispatcher, clock, status});
    frame.OnCreate();
    frame.SetView(&view);
    frame.RunMonitoring();
    SteppedHooks hooks{
        [&] { return sim.NowMs(); },       [&](std::int64_t ms) { sim.AdvanceTime(ms); },
        [&] { return sim.SearchCount(); }, [&] { dispatcher.RunPending(); },
        [&] { return dispatcher.Size(); }, [&] { return workers.Running(); },
    };
    SteppedDriver(hooks, timer, tracker).Run(12000, [] { return false; });
    frame.Shutdown();  // the scan of the tick at 10 s is still inquiring: cancelled
  }
  platform::SetDataFolderOverride("");
  SteppedResult result{view.merges, {}};
  for (const auto& l : status.logged) result.lines.push_back(l.line);
  return result;
}

// A step that never settles (a worker that neither ends nor waits for an
// inquiry) still gives way to a stop request.
TEST(SteppedDriverTest, AStopEndsARunThatCannotSettle) {
  FakeStack stack;
  InquiryTracker tracker(stack, [] { return std::int64_t{0}; });
  VirtualTimer timer;
  std::int64_t now = 0;
  int pumps = 0;
  SteppedHooks hooks{
      [&] { return now; },
      [&](std::int64_t ms) { now += ms; },
      [] { return std::uint64_t{0}; },
      [&] { ++pumps; },
      [] { return std::size_t{0}; },
      [] { return std::size_t{1}; },  // busy for good
  };
  SteppedDriver(hooks, timer, tracker).Run(700000, [&] { return pumps >= 3; });
  EXPECT_EQ(pumps, 3);
  EXPECT_EQ(now, 0);
}

TEST(SteppedDriverTest, InquiriesEndOnSimulatedTimeAndRunsRepeat) {
  setenv("TZ", "UTC", 1);
  tzset();
  char pattern[] = "/tmp/wren_stepped_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  SteppedResult first = RunStepped(pattern);
  // Run at 0 s; the event at 1.5 s is handled at 1.999 s; the event at 4 s at
  // 4 s; the first tick at 5 s restarts. Each scan inquires for 5.12 s, one
  // at a time: the events and the tick during the first ask for one
  // follow-up, merged at 10.24 s. The stranger is found by the first.
  const std::vector<std::string> merges = {
      "5120: 00:02:5B:00:00:01 00:15:2A:00:00:01 00:15:2A:00:00:02 ",
      "10240: 00:02:5B:00:00:01 00:15:2A:00:00:01 00:15:2A:00:00:02 ",
  };
  EXPECT_EQ(first.merges, merges);
  const std::vector<std::string> lines = {
      "14:03:58 07/21/2009 - Wrenlocator Started...",
      "14:03:59 07/21/2009 - 00:15:2A:00:00:01 One - Bluetooth device has changed: name changed, "
      "remote "
      "radio has just been retrieved,.",
      "14:04:02 07/21/2009 - 00:15:2A:00:00:01: Connection to the remote radio has just been "
      "estrablished.",
  };
  EXPECT_EQ(first.lines, lines);
  SteppedResult second = RunStepped(pattern);
  EXPECT_EQ(second.merges, first.merges);
  EXPECT_EQ(second.lines, first.lines);
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace wren::test
