#include "adapters/sim/SimulatedStack.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <optional>
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
  EXPECT_EQ(found[0].lastSeen,
            (platform::UtcTime{2009, 7, 21, 14, 0, 6}));  // seen when the inquiry ended
  EXPECT_EQ(stack.InquiriesWaiting(), 0u);
}

TEST(SimulatedStack, InquiryEndsAtOnceWhenCancelled) {
  for (TimeMode mode : {TimeMode::Stepped, TimeMode::Wall}) {
    SimulatedStack stack(Load(kInquiry), mode);
    DeviceSearch s = Everything();
    s.issueInquiry = 1;
    s.timeoutMultiplier = 45;  // 57.6 s
    std::stop_source stop;
    auto search =
        std::async(std::launch::async, [&] { return stack.FindDevices(s, stop.get_token()); });
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

// --- the device manager ---

namespace dm {

using platform::BluetoothAddress;
using platform::DeviceProperties;
using platform::DeviceResult;

constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;
constexpr BluetoothAddress kKeyboard = 0x001A2B3C4D60ULL;
constexpr BluetoothAddress kFar = 0x001A2B3C4D61ULL;
constexpr BluetoothAddress kUnknown = 0x112233445566ULL;

const char* const kDevices = R"(<?xml version="1.0"?>
<scenario start="2009-07-21 14:00:00">
  <radio id="a" address="00:02:5B:00:00:01" name="Alpha"/>
  <device address="00:1A:2B:3C:4D:5E" name="Phone" class="0x5A020C" remembered="yes" authenticated="yes"
          trusted="yes" alias="My phone" rssi="-52" tx-power="4"
          uuids="0000110A-0000-1000-8000-00805F9B34FB 00001101-0000-1000-8000-00805f9b34fb"/>
  <device address="00:1A:2B:3C:4D:5F" name="Headset" class="0x240404" rssi="-70">
    <pairing method="confirm-passkey" passkey="123456"/>
  </device>
  <device address="00:1A:2B:3C:4D:60" name="Keyboard" class="0x002540">
    <pairing method="request-pin" pin="7391" outcome="success"/>
  </device>
  <device address="00:1A:2B:3C:4D:61" name="Far" in-range="no">
    <pairing method="just-works"/>
  </device>
  <device address="00:1A:2B:3C:4D:62" name="Watch" remembered="yes">
    <pairing method="display-passkey" passkey="42" outcome="timeout"/>
  </device>
  <timeline>
    <out-of-range at="5" device="00:1A:2B:3C:4D:5F"/>
    <in-range at="6" device="00:1A:2B:3C:4D:61" flags="0x07"/>
  </timeline>
</scenario>
)";
constexpr BluetoothAddress kHeadset = 0x001A2B3C4D5FULL;
constexpr BluetoothAddress kWatch = 0x001A2B3C4D62ULL;

struct Listener : platform::DeviceListener {
  void OnDeviceChanged(const DeviceProperties& d, bool sighted) override {
    changed.push_back(d);
    sightings.push_back(sighted);
  }
  void OnDeviceRemoved(BluetoothAddress a) override { removed.push_back(a); }
  const DeviceProperties* Last(BluetoothAddress a) const {
    for (auto it = changed.rbegin(); it != changed.rend(); ++it)
      if (it->address == a) return &*it;
    return nullptr;
  }
  std::vector<DeviceProperties> changed;
  std::vector<bool> sightings;
  std::vector<BluetoothAddress> removed;
};

// Answers every question as told, and remembers what it was asked.
struct Agent : platform::PairingAgent {
  void ConfirmPasskey(BluetoothAddress d, std::uint32_t passkey,
                      std::function<void(bool)> reply) override {
    asked.push_back("confirm " + std::to_string(passkey));
    last = d;
    if (hold) {
      pendingConfirm = std::move(reply);
      return;
    }
    reply(accept);
  }
  void DisplayPasskey(BluetoothAddress, std::uint32_t passkey, std::uint16_t) override {
    asked.push_back("show passkey " + std::to_string(passkey));
  }
  void DisplayPinCode(BluetoothAddress, const std::string& shown) override {
    asked.push_back("show pin " + shown);
  }
  void RequestPinCode(BluetoothAddress,
                      std::function<void(std::optional<std::string>)> reply) override {
    asked.push_back("pin?");
    reply(pin);
  }
  void RequestPasskey(BluetoothAddress,
                      std::function<void(std::optional<std::uint32_t>)> reply) override {
    asked.push_back("passkey?");
    reply(std::nullopt);
  }
  void Cancel() override { asked.push_back("cancel"); }

  bool accept = true;
  bool hold = false;
  std::optional<std::string> pin;
  std::function<void(bool)> pendingConfirm;
  BluetoothAddress last = 0;
  std::vector<std::string> asked;
};

// Runs an operation; the simulated stack answers inside the call.
template <typename Op>
DeviceResult Outcome(Op op) {
  std::optional<DeviceResult> result;
  op([&](const DeviceResult& r) { result = r; });
  EXPECT_TRUE(result.has_value()) << "answered inside the call";
  return result.value_or(DeviceResult{false, platform::DeviceError::NoReply, "no answer", ""});
}

std::size_t CountGuid(const std::vector<DeviceChange>& changes, const platform::EventGuid& guid) {
  std::size_t n = 0;
  for (const auto& c : changes) n += c.eventType == platform::kCustomEvent && c.eventGuid == guid;
  return n;
}

class SimDeviceManagerTest : public ::testing::Test {
protected:
  SimDeviceManagerTest() : stack(Load(kDevices), TimeMode::Stepped) {
    auto radios = stack.FindRadios();
    radio = radios->Next();
    radioHandle = stack.RegisterRadioEvents(*radio, events);
    watch = stack.WatchDevices(listener);
  }
  platform::DeviceManager& Manager() { return stack; }

  SimulatedStack stack;
  std::unique_ptr<platform::RadioHandle> radio;
  Recorder events;
  Listener listener;
  std::unique_ptr<platform::NotificationHandle> radioHandle, watch;
};

TEST_F(SimDeviceManagerTest, PropertiesOfKnownDevicesOnly) {
  DeviceProperties p;
  ASSERT_TRUE(Manager().Properties(kPhone, p));
  EXPECT_EQ(p.name, "Phone");
  EXPECT_EQ(p.alias, "My phone");
  EXPECT_EQ(p.classOfDevice, 0x5A020Cu);
  EXPECT_TRUE(p.paired);
  EXPECT_TRUE(p.trusted);
  EXPECT_FALSE(p.blocked);
  EXPECT_FALSE(p.connected);
  EXPECT_EQ(p.rssi, std::optional<std::int16_t>(-52));
  EXPECT_EQ(p.txPower, std::optional<std::int16_t>(4));
  EXPECT_EQ(p.uuids, (std::vector<std::string>{"0000110a-0000-1000-8000-00805f9b34fb",
                                               "00001101-0000-1000-8000-00805f9b34fb"}));
  // Out of range since the start and not remembered: unknown to the stack.
  EXPECT_FALSE(Manager().Properties(kFar, p));
  EXPECT_FALSE(Manager().Properties(kUnknown, p));
  ASSERT_TRUE(Manager().Properties(kHeadset, p));
  EXPECT_EQ(p.alias, "Headset") << "no alias: the name";
  EXPECT_FALSE(p.txPower.has_value());
  std::vector<BluetoothAddress> listed;
  for (const auto& d : Manager().Devices()) listed.push_back(d.address);
  EXPECT_EQ(listed, (std::vector<BluetoothAddress>{kPhone, kHeadset, kKeyboard, kWatch}))
      << "devices in range count as found at the start, as with an inquiry before";
}

TEST_F(SimDeviceManagerTest, DiscoveryReportsDevicesInRangeAsSightings) {
  Scenario s = Load(kDevices);
  for (auto& d : s.devices) d.discoverable = d.address == kPhone || d.address == kHeadset;
  SimulatedStack hidden(std::move(s), TimeMode::Stepped);
  Listener l;
  auto w = hidden.WatchDevices(l);
  Recorder radioEvents;
  auto r = hidden.FindRadios()->Next();
  auto h = hidden.RegisterRadioEvents(*r, radioEvents);
  {
    auto session = hidden.StartDiscovery();
    ASSERT_TRUE(session);
    ASSERT_EQ(l.changed.size(), 2u);
    EXPECT_EQ(l.changed[0].address, kPhone);
    EXPECT_EQ(l.changed[1].address, kHeadset);
    EXPECT_EQ(l.sightings, (std::vector<bool>{true, true}));
    EXPECT_EQ(l.changed[1].rssi, std::optional<std::int16_t>(-70));
    EXPECT_FALSE(l.changed[1].lastSeen.IsZero());
  }
  // A device that was already found is no new in-range event; none was new.
  EXPECT_EQ(CountGuid(radioEvents.Take(), platform::kRadioInRangeGuid), 0u);

  // Later timeline events reach the listeners: the headset leaves and,
  // never remembered, is forgotten.
  hidden.AdvanceTime(5000);
  EXPECT_EQ(l.removed, std::vector<BluetoothAddress>{kHeadset});
  DeviceProperties p;
  EXPECT_FALSE(hidden.Properties(kHeadset, p));
}

TEST_F(SimDeviceManagerTest, NoRadioNoDiscovery) {
  Scenario s = Load(kDevices);
  s.radios[0].present = false;
  SimulatedStack noRadio(std::move(s), TimeMode::Stepped);
  EXPECT_EQ(noRadio.StartDiscovery(), nullptr);
  DeviceResult r = Outcome([&](auto done) { noRadio.Pair(kHeadset, done); });
  EXPECT_EQ(r.error, platform::DeviceError::NotReady);
}

TEST_F(SimDeviceManagerTest, PairingConfirmedByTheAgentPairsAndTellsEveryone) {
  Agent agent;
  auto reg = Manager().RegisterPairingAgent(agent);
  DeviceResult r = Outcome([&](auto done) { Manager().Pair(kHeadset, done); });
  EXPECT_TRUE(r.ok) << platform::DeviceErrorText(r);
  EXPECT_EQ(agent.asked, std::vector<std::string>{"confirm 123456"});
  EXPECT_EQ(agent.last, kHeadset);
  DeviceProperties p;
  ASSERT_TRUE(Manager().Properties(kHeadset, p));
  EXPECT_TRUE(p.paired);
  ASSERT_NE(listener.Last(kHeadset), nullptr);
  EXPECT_TRUE(listener.Last(kHeadset)->paired);
  // The radio tells the event log what a real stack would.
  auto changes = events.Take();
  ASSERT_EQ(CountGuid(changes, platform::kRadioInRangeGuid), 1u);
  EXPECT_EQ(changes.back().address, kHeadset);
  EXPECT_EQ(changes.back().previousFlags & platform::kFlagPaired, 0u);
  EXPECT_NE(changes.back().flags & platform::kFlagPaired, 0u);
  EXPECT_NE(changes.back().flags & platform::kFlagPersonal, 0u);
  DeviceSearch authenticated;
  authenticated.returnAuthenticated = 1;
  EXPECT_EQ(Find(stack, authenticated).size(), 2u) << "the next scan sees it paired";

  DeviceResult again = Outcome([&](auto done) { Manager().Pair(kHeadset, done); });
  EXPECT_EQ(again.error, platform::DeviceError::AlreadyExists);
  EXPECT_EQ(platform::DeviceErrorText(again), "The device is already paired.");
}

TEST_F(SimDeviceManagerTest, PairingFailuresGiveTheirTexts) {
  Agent agent;
  auto reg = Manager().RegisterPairingAgent(agent);
  const struct {
    const char* what;
    BluetoothAddress device;
    std::function<void(Agent&)> prepare;
    platform::DeviceError error;
    const char* text;
  } rows[] = {
      {"rejected passkey", kHeadset, [](Agent& a) { a.accept = false; },
       platform::DeviceError::AuthenticationRejected, "Pairing was refused."},
      {"wrong PIN", kKeyboard, [](Agent& a) { a.pin = "0000"; },
       platform::DeviceError::AuthenticationFailed,
       "Pairing failed: the PIN or passkey did not match."},
      {"PIN refused", kKeyboard, [](Agent& a) { a.pin.reset(); },
       platform::DeviceError::AuthenticationCanceled, "Pairing was cancelled."},
      {"scripted timeout", kWatch, [](Agent&) {}, platform::DeviceError::AuthenticationTimeout,
       "The device did not answer the pairing in time."},
      {"out of range", kFar, [](Agent&) {}, platform::DeviceError::DoesNotExist,
       "The device is no longer known to the Bluetooth service."},
      {"unknown device", kUnknown, [](Agent&) {}, platform::DeviceError::DoesNotExist,
       "The device is no longer known to the Bluetooth service."},
  };
  for (const auto& row : rows) {
    agent = Agent{};
    row.prepare(agent);
    DeviceResult r = Outcome([&](auto done) { Manager().Pair(row.device, done); });
    EXPECT_FALSE(r.ok) << row.what;
    EXPECT_EQ(r.error, row.error) << row.what;
    EXPECT_EQ(platform::DeviceErrorText(r), row.text) << row.what;
    DeviceProperties p;
    if (Manager().Properties(row.device, p)) {
      EXPECT_FALSE(p.paired) << row.what;
    }
  }
  EXPECT_EQ(agent.asked, std::vector<std::string>{}) << "an unknown device asks nothing";

  // The right PIN pairs; a shown passkey is shown.
  agent = Agent{};
  agent.pin = "7391";
  EXPECT_TRUE(Outcome([&](auto done) { Manager().Pair(kKeyboard, done); }).ok);
  Outcome([&](auto done) { Manager().Pair(kWatch, done); });
  EXPECT_EQ(agent.asked, (std::vector<std::string>{"pin?", "show passkey 42"}));
}

TEST_F(SimDeviceManagerTest, PairingWithoutAnAgentIsCancelledAndAPendingOneCanBeCancelled) {
  DeviceResult r = Outcome([&](auto done) { Manager().Pair(kHeadset, done); });
  EXPECT_EQ(r.error, platform::DeviceError::AuthenticationCanceled);

  Agent agent;
  agent.hold = true;  // the user has not answered yet
  auto reg = Manager().RegisterPairingAgent(agent);
  std::optional<DeviceResult> pairing;
  Manager().Pair(kHeadset, [&](const DeviceResult& res) { pairing = res; });
  EXPECT_FALSE(pairing.has_value());
  EXPECT_EQ(Outcome([&](auto done) { Manager().Pair(kHeadset, done); }).error,
            platform::DeviceError::InProgress);

  EXPECT_TRUE(Outcome([&](auto done) { Manager().CancelPairing(kHeadset, done); }).ok);
  ASSERT_TRUE(pairing.has_value());
  EXPECT_EQ(pairing->error, platform::DeviceError::AuthenticationCanceled);
  EXPECT_EQ(agent.asked.back(), "cancel");
  // The late answer changes nothing.
  agent.pendingConfirm(true);
  DeviceProperties p;
  ASSERT_TRUE(Manager().Properties(kHeadset, p));
  EXPECT_FALSE(p.paired);
  EXPECT_EQ(Outcome([&](auto done) { Manager().CancelPairing(kHeadset, done); }).error,
            platform::DeviceError::DoesNotExist);
}

TEST_F(SimDeviceManagerTest, TrustBlockConnectAliasAndRemoveChangeTheStackAsARealOneWould) {
  events.Take();
  // Trust makes a device remembered; the next scan sees it.
  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetTrusted(kHeadset, true, done); }).ok);
  DeviceSearch remembered;
  remembered.returnRemembered = 1;
  auto found = Find(stack, remembered);
  EXPECT_EQ(found.size(), 3u);
  EXPECT_TRUE(listener.Last(kHeadset)->trusted);
  EXPECT_EQ(CountGuid(events.Take(), platform::kRadioInRangeGuid), 1u);
  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetTrusted(kHeadset, false, done); }).ok);
  EXPECT_EQ(Find(stack, remembered).size(), 2u);
  EXPECT_FALSE(listener.Last(kHeadset)->trusted);

  // Connect and disconnect, with the HCI events and their errors.
  EXPECT_TRUE(Outcome([&](auto done) { Manager().Connect(kPhone, done); }).ok);
  EXPECT_EQ(Outcome([&](auto done) { Manager().Connect(kPhone, done); }).error,
            platform::DeviceError::AlreadyConnected);
  DeviceSearch connected;
  connected.returnConnected = 1;
  ASSERT_EQ(Find(stack, connected).size(), 1u);
  EXPECT_FALSE(Find(stack, connected)[0].lastUsed.IsZero());
  auto changes = events.Take();
  ASSERT_EQ(CountGuid(changes, platform::kHciEventGuid), 1u);
  EXPECT_TRUE(changes.back().connected);
  EXPECT_EQ(changes.back().bthAddress, kPhone);
  // Blocking cuts the connection; a blocked device neither connects nor pairs.
  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetBlocked(kPhone, true, done); }).ok);
  EXPECT_TRUE(Find(stack, connected).empty());
  changes = events.Take();
  ASSERT_EQ(CountGuid(changes, platform::kHciEventGuid), 1u);
  EXPECT_FALSE(changes.back().connected);
  EXPECT_EQ(Outcome([&](auto done) { Manager().Connect(kPhone, done); }).error,
            platform::DeviceError::Failed);
  EXPECT_TRUE(listener.Last(kPhone)->blocked);
  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetBlocked(kPhone, false, done); }).ok);
  EXPECT_EQ(Outcome([&](auto done) { Manager().Disconnect(kPhone, done); }).error,
            platform::DeviceError::NotConnected);
  EXPECT_EQ(Outcome([&](auto done) { Manager().Connect(kFar, done); }).error,
            platform::DeviceError::DoesNotExist);

  // An alias, and back to the device's own name.
  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetAlias(kHeadset, "Kitchen", done); }).ok);
  EXPECT_EQ(listener.Last(kHeadset)->alias, "Kitchen");
  EXPECT_EQ(listener.Last(kHeadset)->name, "Headset");
  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetAlias(kHeadset, "", done); }).ok);
  EXPECT_EQ(listener.Last(kHeadset)->alias, "Headset");

  // Removing forgets the pairing and trust: gone from the lists until an
  // inquiry finds it again, unpaired.
  EXPECT_TRUE(Outcome([&](auto done) { Manager().Remove(kPhone, done); }).ok);
  EXPECT_EQ(listener.removed, std::vector<BluetoothAddress>{kPhone});
  DeviceProperties p;
  EXPECT_FALSE(Manager().Properties(kPhone, p));
  EXPECT_TRUE(Find(stack, remembered).size() == 1u);
  changes = events.Take();
  ASSERT_EQ(CountGuid(changes, platform::kRadioOutOfRangeGuid), 1u);
  EXPECT_EQ(changes.back().deviceAddress, kPhone);
  EXPECT_EQ(Outcome([&](auto done) { Manager().Remove(kPhone, done); }).error,
            platform::DeviceError::DoesNotExist);
  auto session = Manager().StartDiscovery();
  ASSERT_TRUE(Manager().Properties(kPhone, p));
  EXPECT_FALSE(p.paired);
  EXPECT_FALSE(p.trusted);
  EXPECT_EQ(p.alias, "Phone");
}

TEST_F(SimDeviceManagerTest, AListenerMayLeaveFromInsideItsCall) {
  struct Leaver : platform::DeviceListener {
    void OnDeviceChanged(const DeviceProperties&, bool) override {
      ++calls;
      handle.reset();
    }
    void OnDeviceRemoved(BluetoothAddress) override { ++calls; }
    std::unique_ptr<platform::NotificationHandle> handle;
    int calls = 0;
  } leaver;
  leaver.handle = Manager().WatchDevices(leaver);
  auto session = Manager().StartDiscovery();  // several devices reported
  EXPECT_EQ(leaver.calls, 1);
  EXPECT_GE(listener.changed.size(), 2u);
}

TEST(SimDemo, PairTrustAndRemoveADemoDevice) {
  Scenario demo;
  std::string error;
  ASSERT_TRUE(LoadDemoScenario(demo, error)) << error;
  SimulatedStack stack(std::move(demo), TimeMode::Stepped);
  platform::DeviceManager& manager = stack;
  constexpr BluetoothAddress kJoystick = 0x0009BF070809ULL;
  constexpr BluetoothAddress kGadget = 0x02ABCD161718ULL;
  Agent agent;
  agent.pin = "0000";
  auto reg = manager.RegisterPairingAgent(agent);
  EXPECT_TRUE(Outcome([&](auto done) { manager.Pair(kJoystick, done); }).ok);
  EXPECT_TRUE(Outcome([&](auto done) { manager.SetTrusted(kJoystick, true, done); }).ok);
  DeviceProperties p;
  ASSERT_TRUE(manager.Properties(kJoystick, p));
  EXPECT_TRUE(p.paired && p.trusted);
  EXPECT_TRUE(Outcome([&](auto done) { manager.Remove(kJoystick, done); }).ok);
  EXPECT_FALSE(manager.Properties(kJoystick, p)) << "forgotten until an inquiry finds it again";
  // The gadget shows a passkey and then refuses it.
  DeviceResult gadget = Outcome([&](auto done) { manager.Pair(kGadget, done); });
  EXPECT_EQ(gadget.error, platform::DeviceError::AuthenticationFailed);
  EXPECT_EQ(agent.asked, (std::vector<std::string>{"pin?", "show passkey 104729"}));
}

TEST(SimPorts, OneStackHandsOutBothPorts) {
  platform::StackPorts ports =
      platform::PortsOf(std::make_unique<SimulatedStack>(Load(kDevices), TimeMode::Stepped));
  ASSERT_TRUE(ports.stack && ports.devices);
  // A change through the device manager is what the stack port's scan sees.
  EXPECT_TRUE(Outcome([&](auto done) { ports.devices->SetTrusted(kHeadset, true, done); }).ok);
  DeviceSearch remembered;
  remembered.returnRemembered = 1;
  auto find = ports.stack->FindDevices(remembered, {});
  std::vector<BluetoothAddress> seen;
  DeviceInfo info;
  while (find && find->Next(info)) seen.push_back(info.address);
  EXPECT_EQ(seen, (std::vector<BluetoothAddress>{kPhone, kHeadset, kWatch}));
}

TEST(SimScenario, PairingElementIsCheckedWhenRead) {
  const struct {
    const char* device;
    const char* error;  // a piece of the error; empty: accepted
  } rows[] = {
      {R"(<device address="00:1A:2B:3C:4D:5E"><pairing method="confirm-passkey" passkey="999999"/></device>)",
       ""},
      {R"(<device address="00:1A:2B:3C:4D:5E"><pairing method="telepathy"/></device>)", "method"},
      {R"(<device address="00:1A:2B:3C:4D:5E"><pairing passkey="1000000"/></device>)", "passkey"},
      {R"(<device address="00:1A:2B:3C:4D:5E"><pairing pin=""/></device>)", "pin"},
      {R"(<device address="00:1A:2B:3C:4D:5E"><pairing outcome="maybe"/></device>)", "outcome"},
      {R"(<device address="00:1A:2B:3C:4D:5E"><pairing colour="red"/></device>)", "colour"},
      {R"(<device address="00:1A:2B:3C:4D:5E" rssi="-128"/>)", "rssi"},
      {R"(<device address="00:1A:2B:3C:4D:5E" tx-power="x"/>)", "tx-power"},
      {R"(<device address="00:1A:2B:3C:4D:5E" uuids="1101"/>)", "uuids"},
      {R"(<device address="00:1A:2B:3C:4D:5E" blocked="maybe"/>)", "blocked"},
  };
  for (const auto& row : rows) {
    const std::string text =
        std::string("<scenario><radio id=\"a\" address=\"00:02:5B:00:00:01\"/>") + row.device +
        "</scenario>";
    Scenario s;
    std::string error;
    const bool ok = ParseScenario(text, "t.xml", s, error);
    if (*row.error == '\0') {
      EXPECT_TRUE(ok) << row.device << ": " << error;
      ASSERT_EQ(s.devices.size(), 1u);
      EXPECT_EQ(s.devices[0].pairing.method, PairingMethod::ConfirmPasskey);
      EXPECT_EQ(s.devices[0].pairing.passkey, 999999u);
    } else {
      EXPECT_FALSE(ok) << row.device;
      EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
  }
}

}  // namespace dm

}  // namespace
}  // namespace wren::sim
