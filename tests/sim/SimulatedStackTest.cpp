#include "platform/sim/SimulatedStack.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace wren::sim {
namespace {

using platform::DeviceChange;
using platform::DeviceInfo;
using platform::DeviceSearch;

struct Recorder : platform::DeviceChangeSink {
  void OnDeviceChange(const DeviceChange& change) override {
    std::lock_guard lock(mutex);
    changes.push_back(change);
    threads.push_back(std::this_thread::get_id());
    arrived.notify_all();
  }
  std::vector<DeviceChange> Take() {
    std::lock_guard lock(mutex);
    return std::exchange(changes, {});
  }
  bool WaitFor(std::size_t n) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(10), [&] { return changes.size() >= n; });
  }
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<DeviceChange> changes;
  std::vector<std::thread::id> threads;
};

Scenario Load(const std::string& text) {
  Scenario s;
  std::string error;
  EXPECT_TRUE(ParseScenario(text, "test.xml", s, error)) << error;
  return s;
}

const char* const kEvents = R"(<?xml version="1.0"?>
<scenario start="2009-07-21 14:00:00">
  <radio id="a" address="00:02:5B:00:00:01" name="Alpha"/>
  <radio id="b" address="00:02:5B:00:00:02" name="Beta"/>
  <device address="00:1A:2B:3C:4D:5E" name="Phone" remembered="yes" authenticated="yes" radios="a"/>
  <device address="00:1A:2B:3C:4D:5F" name="Stranger" radios="b"/>
  <timeline repeat="100">
    <hci-connect at="1" device="00:1A:2B:3C:4D:5E"/>
    <l2cap-connect at="2" device="00:1A:2B:3C:4D:5E" initiated="yes"/>
    <l2cap-connect at="2" device="00:1A:2B:3C:4D:5E"/>
    <l2cap-disconnect at="3" device="00:1A:2B:3C:4D:5E"/>
    <hci-disconnect at="4" device="00:1A:2B:3C:4D:5E"/>
    <in-range at="5" device="00:1A:2B:3C:4D:5F" flags="0x27" previous="0x03" name="Renamed"/>
    <out-of-range at="6" device="00:1A:2B:3C:4D:5F"/>
    <pin-request at="7" device="00:1A:2B:3C:4D:5F"/>
    <custom at="8" radio="a" guid="{00000000-1111-2222-3333-444455556666}"/>
    <custom at="9"/>
    <adapter-removed at="10" radio="b"/>
    <in-range at="11" device="00:1A:2B:3C:4D:5F" flags="0x07"/>
    <adapter-inserted at="12" radio="b"/>
  </timeline>
</scenario>
)";

std::vector<DeviceInfo> Find(SimulatedStack& stack, DeviceSearch search) {
  std::vector<DeviceInfo> out;
  auto find = stack.FindDevices(search, {});
  DeviceInfo info;
  while (find && find->Next(info)) out.push_back(info);
  return out;
}

DeviceSearch Everything() {
  DeviceSearch s;
  s.returnAuthenticated = s.returnRemembered = s.returnUnknown = s.returnConnected = 1;
  return s;
}

TEST(SimulatedStack, TimelineEventsArriveInOrderWithTheirPayloads) {
  SimulatedStack stack(Load(kEvents), TimeMode::Stepped);
  Recorder a, b, tree;
  auto radios = stack.FindRadios();
  ASSERT_NE(radios, nullptr);
  auto ra = radios->Next(), rb = radios->Next();
  ASSERT_TRUE(ra && rb);
  EXPECT_EQ(radios->Next(), nullptr);
  auto ha = stack.RegisterRadioEvents(*ra, a);
  auto hb = stack.RegisterRadioEvents(*rb, b);
  auto ht = stack.WatchDeviceTree(tree);
  ASSERT_TRUE(ha && hb && ht);
  ra.reset();  // registrations do not need the radio handle
  rb.reset();

  stack.AdvanceTime(999);
  EXPECT_TRUE(a.Take().empty());
  stack.AdvanceTime(12000);

  auto onA = a.Take();
  ASSERT_EQ(onA.size(), 7u);
  EXPECT_EQ(onA[0].eventType, platform::kCustomEvent);
  EXPECT_TRUE(onA[0].hasRecord);
  EXPECT_EQ(onA[0].eventGuid, platform::kHciEventGuid);
  EXPECT_EQ(onA[0].bthAddress, 0x001A2B3C4D5Eu);
  EXPECT_TRUE(onA[0].connected);
  EXPECT_EQ(onA[1].eventGuid, platform::kL2capEventGuid);
  EXPECT_TRUE(onA[1].connected);
  EXPECT_TRUE(onA[1].initiated);
  EXPECT_EQ(onA[2].eventGuid, platform::kL2capEventGuid);
  EXPECT_FALSE(onA[2].initiated);
  EXPECT_EQ(onA[3].eventGuid, platform::kL2capEventGuid);
  EXPECT_FALSE(onA[3].connected);
  EXPECT_EQ(onA[4].eventGuid, platform::kHciEventGuid);
  EXPECT_FALSE(onA[4].connected);
  EXPECT_TRUE(onA[5].hasRecord);  // the custom event named radio a
  EXPECT_EQ(onA[5].eventGuid[3], 0x00);
  EXPECT_EQ(onA[5].eventGuid[4], 0x11);
  EXPECT_EQ(onA[5].eventGuid[15], 0x66);
  EXPECT_FALSE(onA[6].hasRecord);  // no radio named: the first radio

  auto onB = b.Take();
  ASSERT_EQ(onB.size(), 3u);  // the in-range event at 11 s found radio b removed
  EXPECT_EQ(onB[0].eventGuid, platform::kRadioInRangeGuid);
  EXPECT_EQ(onB[0].address, 0x001A2B3C4D5Fu);
  EXPECT_EQ(onB[0].name, "Renamed");
  EXPECT_EQ(onB[0].flags, 0x27u);
  EXPECT_EQ(onB[0].previousFlags, 0x03u);
  EXPECT_EQ(onB[1].eventGuid, platform::kRadioOutOfRangeGuid);
  EXPECT_EQ(onB[1].deviceAddress, 0x001A2B3C4D5Fu);
  EXPECT_EQ(onB[2].eventGuid, platform::kPinRequestGuid);

  auto onTree = tree.Take();
  ASSERT_EQ(onTree.size(), 2u);
  EXPECT_EQ(onTree[0].eventType, platform::kDeviceNodesChanged);
  EXPECT_EQ(onTree[1].eventType, platform::kDeviceNodesChanged);
  EXPECT_EQ(stack.NowMs(), 12999);
  // Delivered inside AdvanceTime, on this thread.
  for (auto id : a.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(SimulatedStack, RemovedAdapterEndsItsRegistrations) {
  SimulatedStack stack(Load(kEvents), TimeMode::Stepped);
  Recorder b;
  auto radios = stack.FindRadios();
  radios->Next();
  auto rb = radios->Next();
  auto hb = stack.RegisterRadioEvents(*rb, b);
  stack.AdvanceTime(13000);  // removed at 10 s, back at 12 s
  EXPECT_EQ(b.Take().size(), 3u);
  stack.AdvanceTime(100000);  // the next cycle goes to nobody on b
  EXPECT_TRUE(b.Take().empty());
  // A handle to the radio while it is gone cannot register.
  stack.AdvanceTime(97000);  // 210 s: removed again
  EXPECT_EQ(stack.RegisterRadioEvents(*rb, b), nullptr);
  platform::RadioInfo info;
  EXPECT_FALSE(rb->GetInfo(info));
}

TEST(SimulatedStack, TimelineRepeatsAndChangesWhatSearchesReport) {
  SimulatedStack stack(Load(kEvents), TimeMode::Stepped);
  DeviceSearch connected;
  connected.returnConnected = 1;
  EXPECT_TRUE(Find(stack, connected).empty());
  stack.AdvanceTime(1000);
  auto now = Find(stack, connected);
  ASSERT_EQ(now.size(), 1u);
  EXPECT_EQ(now[0].name, "Phone");
  EXPECT_EQ(now[0].lastUsed, (platform::UtcTime{2009, 7, 21, 14, 0, 1}));
  EXPECT_EQ(now[0].lastSeen, (platform::UtcTime{2009, 7, 21, 14, 0, 1}));
  stack.AdvanceTime(3000);  // hci-disconnect at 4 s
  EXPECT_TRUE(Find(stack, connected).empty());

  DeviceSearch unknown;
  unknown.returnUnknown = 1;
  auto found = Find(stack, unknown);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Stranger");
  stack.AdvanceTime(1000);  // in range at 5 s: renamed, connected
  found = Find(stack, Everything());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].name, "Renamed");
  EXPECT_TRUE(found[1].connected);
  EXPECT_FALSE(found[1].remembered);
  stack.AdvanceTime(1000);  // out of range at 6 s: an unknown device is gone
  EXPECT_TRUE(Find(stack, unknown).empty());

  stack.AdvanceTime(4000);  // 10 s: adapter b removed
  auto radios = stack.FindRadios();
  ASSERT_TRUE(radios);
  platform::RadioInfo info;
  ASSERT_TRUE(radios->Next()->GetInfo(info));
  EXPECT_EQ(info.name, "Alpha");
  EXPECT_EQ(radios->Next(), nullptr);
  stack.AdvanceTime(2000);  // 12 s: back
  radios = stack.FindRadios();
  radios->Next();
  EXPECT_NE(radios->Next(), nullptr);

  stack.AdvanceTime(89000);  // 101 s: the second cycle connects again
  now = Find(stack, connected);
  ASSERT_EQ(now.size(), 1u);
  EXPECT_EQ(now[0].lastUsed, (platform::UtcTime{2009, 7, 21, 14, 1, 41}));
}

TEST(SimulatedStack, TimelineWithoutRepeatPlaysOnce) {
  SimulatedStack stack(Load(R"(<scenario>
  <radio id="a" address="00:02:5B:00:00:01"/>
  <timeline><pin-request at="1"/></timeline>
</scenario>)"),
                       TimeMode::Stepped);
  Recorder sink;
  auto radios = stack.FindRadios();
  auto handle = stack.RegisterRadioEvents(*radios->Next(), sink);
  stack.AdvanceTime(1000000);
  EXPECT_EQ(sink.Take().size(), 1u);
}

TEST(SimulatedStack, SearchFiltersByFlagsAndRadio) {
  SimulatedStack stack(Load(R"(<scenario>
  <radio id="a" address="00:02:5B:00:00:01"/>
  <radio id="b" address="00:02:5B:00:00:02"/>
  <device address="00:00:00:00:00:01" authenticated="yes" radios="a"/>
  <device address="00:00:00:00:00:02" remembered="yes" radios="b"/>
  <device address="00:00:00:00:00:03" connected="yes"/>
  <device address="00:00:00:00:00:04"/>
  <device address="00:00:00:00:00:05" discoverable="no"/>
  <device address="00:00:00:00:00:06" in-range="no"/>
</scenario>)"),
                       TimeMode::Stepped);
  auto addresses = [&](DeviceSearch s) {
    std::vector<platform::BluetoothAddress> out;
    for (const auto& d : Find(stack, s)) out.push_back(d.address);
    return out;
  };
  using A = std::vector<platform::BluetoothAddress>;
  DeviceSearch s;
  EXPECT_EQ(addresses(s), A{});
  s.returnAuthenticated = 1;
  EXPECT_EQ(addresses(s), A{1});
  s = {};
  s.returnRemembered = 1;
  EXPECT_EQ(addresses(s), A{2});
  s = {};
  s.returnConnected = 1;
  EXPECT_EQ(addresses(s), (A{3}));
  s = {};
  s.returnUnknown = 1;
  EXPECT_EQ(addresses(s), (A{3, 4}));  // in range and found; not the hidden or absent ones
  EXPECT_EQ(addresses(Everything()), (A{1, 2, 3, 4}));

  auto radios = stack.FindRadios();
  auto a = radios->Next(), b = radios->Next();
  DeviceSearch onB = Everything();
  onB.radio = b.get();
  EXPECT_EQ(addresses(onB), (A{2, 3, 4}));
  DeviceSearch onA = Everything();
  onA.radio = a.get();
  EXPECT_EQ(addresses(onA), (A{1, 3, 4}));

  // A handle of another stack is not one of ours.
  SimulatedStack other(Load(R"(<scenario><radio id="x" address="00:00:00:00:00:09"/></scenario>)"),
                       TimeMode::Stepped);
  auto foreign = other.FindRadios()->Next();
  DeviceSearch wrong = Everything();
  wrong.radio = foreign.get();
  EXPECT_EQ(stack.FindDevices(wrong, {}), nullptr);
  Recorder sink;
  EXPECT_EQ(stack.RegisterRadioEvents(*foreign, sink), nullptr);
}

const char* const kInquiry = R"(<scenario start="2009-07-21 14:00:00">
  <radio id="a" address="00:02:5B:00:00:01"/>
  <device address="00:00:00:00:00:01" remembered="yes"/>
  <device address="00:00:00:00:00:02" in-range="no"/>
  <timeline><in-range at="1" device="00:00:00:00:00:02" flags="0x03"/>
            <out-of-range at="2" device="00:00:00:00:00:02"/>
            <hci-connect at="3" device="00:00:00:00:00:02"/></timeline>
</scenario>)";

TEST(SimulatedStack, InquiryBlocksForItsMultiplierOfSimulatedTime) {
  SimulatedStack stack(Load(kInquiry), TimeMode::Stepped);
  stack.AdvanceTime(3000);  // the unknown device is back and connected
  DeviceSearch s;
  s.returnUnknown = 1;
  s.issueInquiry = 1;
  s.timeoutMultiplier = 3;
  auto search = std::async(std::launch::async, [&] { return Find(stack, s); });
  EXPECT_TRUE(stack.WaitForInquiries(1));
  stack.AdvanceTime(3839);
  EXPECT_EQ(search.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
  stack.AdvanceTime(1);
  if (search.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    stack.AdvanceTime(100000);
    search.wait();
    FAIL() << "the inquiry did not end";
  }
  auto found = search.get();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].address, 2u);
  EXPECT_EQ(found[0].lastSeen, (platform::UtcTime{2009, 7, 21, 14, 0, 6}));  // seen when the inquiry ended
  EXPECT_EQ(stack.InquiriesWaiting(), 0u);
}

TEST(SimulatedStack, InquiryEndsAtOnceWhenCancelled) {
  for (TimeMode mode : {TimeMode::Stepped, TimeMode::Wall}) {
    SimulatedStack stack(Load(kInquiry), mode);
    DeviceSearch s = Everything();
    s.issueInquiry = 1;
    s.timeoutMultiplier = 45;  // 57.6 s
    std::stop_source stop;
    auto search = std::async(std::launch::async, [&] { return stack.FindDevices(s, stop.get_token()); });
    EXPECT_TRUE(stack.WaitForInquiries(1));
    stop.request_stop();
    ASSERT_EQ(search.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(search.get(), nullptr);

    std::vector<platform::BluetoothAddress> devices;
    EXPECT_EQ(stack.LookUpDevices(devices, stop.get_token()), platform::LookupStatus::NotStarted);
    EXPECT_TRUE(devices.empty());
  }
}

TEST(SimulatedStack, WallClockPlaysTheTimelineOnItsOwnThread) {
  SimulatedStack stack(Load(R"(<scenario>
  <radio id="a" address="00:02:5B:00:00:01"/>
  <device address="00:00:00:00:00:01" remembered="yes"/>
  <timeline repeat="0.2"><hci-connect at="0.05" device="00:00:00:00:00:01"/></timeline>
</scenario>)"),
                       TimeMode::Wall);
  Recorder sink;
  auto radios = stack.FindRadios();
  auto handle = stack.RegisterRadioEvents(*radios->Next(), sink);
  ASSERT_TRUE(sink.WaitFor(2));
  handle.reset();
  std::lock_guard lock(sink.mutex);
  EXPECT_NE(sink.threads[0], std::this_thread::get_id());
  EXPECT_GE(stack.NowMs(), 250);
}

TEST(SimulatedStack, SinkMayUnregisterFromInsideItsCall) {
  struct SelfRemoving : platform::DeviceChangeSink {
    void OnDeviceChange(const DeviceChange&) override {
      ++calls;
      handle.reset();
    }
    std::unique_ptr<platform::NotificationHandle> handle;
    int calls = 0;
  } sink;
  SimulatedStack stack(Load(kEvents), TimeMode::Stepped);
  auto radios = stack.FindRadios();
  sink.handle = stack.RegisterRadioEvents(*radios->Next(), sink);
  stack.AdvanceTime(200000);
  EXPECT_EQ(sink.calls, 1);
}

TEST(SimulatedStack, ServiceLookupNeedsARadioAndADeviceInRange) {
  SimulatedStack stack(Load(R"(<scenario lookup-multiplier="0">
  <radio id="a" address="00:02:5B:00:00:01"/>
  <device address="00:00:00:00:00:01"><record hex="35 00"/><record blob="no"/></device>
  <device address="00:00:00:00:00:02" discoverable="no"/>
  <device address="00:00:00:00:00:03" in-range="no"><record hex="35 00"/></device>
  <timeline><adapter-removed at="1" radio="a"/></timeline>
</scenario>)"),
                       TimeMode::Stepped);
  std::vector<platform::BluetoothAddress> devices;
  ASSERT_EQ(stack.LookUpDevices(devices, {}), platform::LookupStatus::Ok);
  EXPECT_EQ(devices, (std::vector<platform::BluetoothAddress>{1}));
  std::vector<platform::ServiceRecord> records;
  EXPECT_TRUE(stack.LookUpServices(1, records, {}));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0].hasBlob);
  EXPECT_FALSE(records[1].hasBlob);
  records.clear();
  EXPECT_TRUE(stack.LookUpServices(2, records, {}));  // hidden from inquiries, still answers
  EXPECT_TRUE(records.empty());
  EXPECT_FALSE(stack.LookUpServices(3, records, {}));
  EXPECT_FALSE(stack.LookUpServices(9, records, {}));

  stack.AdvanceTime(1000);
  devices.clear();
  EXPECT_EQ(stack.LookUpDevices(devices, {}), platform::LookupStatus::Unavailable);
  EXPECT_FALSE(stack.LookUpServices(1, records, {}));
}

TEST(SimulatedStack, DemoScenarioPlaysEveryEventKindInTheFirstMinute) {
  Scenario demo;
  std::string error;
  ASSERT_TRUE(LoadDemoScenario(demo, error)) << error;
  SimulatedStack stack(std::move(demo), TimeMode::Stepped, "demo scenario");
  EXPECT_TRUE(stack.IsSimulation());
  EXPECT_EQ(stack.Description(), "Simulated Bluetooth stack: demo scenario");
  Recorder events, tree;
  std::vector<std::unique_ptr<platform::NotificationHandle>> handles;
  auto radios = stack.FindRadios();
  while (auto r = radios->Next()) handles.push_back(stack.RegisterRadioEvents(*r, events));
  auto watch = stack.WatchDeviceTree(tree);
  stack.AdvanceTime(60000);
  std::set<std::pair<platform::EventGuid, bool>> kinds;  // identifier, connected
  bool noRecord = false;
  for (const auto& c : events.Take()) {
    noRecord |= !c.hasRecord;
    if (c.hasRecord) kinds.insert({c.eventGuid, c.connected});
  }
  EXPECT_TRUE(noRecord);
  for (auto guid : {platform::kHciEventGuid, platform::kL2capEventGuid})
    for (bool connected : {true, false}) EXPECT_TRUE(kinds.count({guid, connected}));
  EXPECT_TRUE(kinds.count({platform::kRadioInRangeGuid, false}));
  EXPECT_TRUE(kinds.count({platform::kRadioOutOfRangeGuid, false}));
  EXPECT_TRUE(kinds.count({platform::kPinRequestGuid, false}));
  EXPECT_EQ(tree.Take().size(), 2u);
}

}  // namespace
}  // namespace wren::sim

namespace wren::sim {
namespace {

TEST(SimulatedStack, CallLogsKeepOnlyTheLatestCalls) {
  SimulatedStack stack(Load(R"(<scenario><radio id="a" address="00:02:5B:00:00:01"/></scenario>)"),
                       TimeMode::Stepped);
  DeviceSearch s;
  for (int i = 0; i < 3000; ++i) {
    s.timeoutMultiplier = static_cast<std::uint8_t>(i % 200);
    stack.FindDevices(s, {});
  }
  auto calls = stack.Searches();
  EXPECT_LE(calls.size(), 1024u);
  EXPECT_GE(calls.size(), 512u);
  EXPECT_EQ(calls.back().search.timeoutMultiplier, 2999 % 200);
}

}  // namespace
}  // namespace wren::sim
