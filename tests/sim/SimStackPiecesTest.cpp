// The pieces of the simulated stack on their own (the timeline player, the
// scanner, the device manager, with a recording outlet in place of the
// stack's routing), and what the stack's handles may do once it is gone.

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <utility>
#include <string>
#include <variant>
#include <vector>

#include "adapters/sim/SimDelivery.h"
#include "adapters/sim/SimDeviceManager.h"
#include "adapters/sim/SimScanner.h"
#include "adapters/sim/SimulatedStack.h"
#include "adapters/sim/TimelinePlayer.h"

namespace wren::sim {
namespace {

constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;     // on radio a, remembered
constexpr BluetoothAddress kStranger = 0x001A2B3C4D5FULL;  // on radio a, comes and goes
constexpr BluetoothAddress kHeadset = 0x001A2B3C4D60ULL;   // on every radio

const char* const kWorld = R"(<?xml version="1.0"?>
<scenario start="2009-07-21 14:00:00">
  <radio id="a" address="00:02:5B:00:00:01" name="Alpha"/>
  <radio id="b" address="00:02:5B:00:00:02" name="Beta"/>
  <device address="00:1A:2B:3C:4D:5E" name="Phone" remembered="yes" authenticated="yes" radios="a"/>
  <device address="00:1A:2B:3C:4D:5F" name="Stranger" in-range="no" radios="a"/>
  <device address="00:1A:2B:3C:4D:60" name="Headset">
    <pairing method="confirm-passkey" passkey="123456"/>
  </device>
  <timeline>
    <in-range at="1" device="00:1A:2B:3C:4D:5F" flags="0x03"/>
    <out-of-range at="2" device="00:1A:2B:3C:4D:5F"/>
    <hci-connect at="3" device="00:1A:2B:3C:4D:5E"/>
    <adapter-removed at="4" radio="a"/>
  </timeline>
</scenario>
)";

Scenario World() {
  Scenario s;
  std::string error;
  EXPECT_TRUE(ParseScenario(kWorld, "pieces.xml", s, error)) << error;
  return s;
}

// Whether another thread could take `mutex` now.
bool FreeElsewhere(std::mutex& mutex) {
  auto tryLock = [&mutex] {
    if (!mutex.try_lock()) return false;
    mutex.unlock();
    return true;
  };
  return std::async(std::launch::async, tryLock).get();
}

// A delivery in a word or two.
struct Kind {
  std::string operator()(const RadioChange& d) const { return "radio " + std::to_string(d.radio); }
  std::string operator()(const TreeChange&) const { return "tree"; }
  std::string operator()(const DeviceChanged& d) const { return d.sighted ? "sighted" : "changed"; }
  std::string operator()(const DeviceRemoved&) const { return "removed"; }
};

std::string KindOf(const Delivery& delivery) { return std::visit(Kind{}, delivery); }

// Stands in for the stack's routing: records what it is handed, in order,
// and whether the stack's mutex was held meanwhile.
struct RecordingOutlet final : TimelinePlayer::Outlet {
  void RadioRemoved(std::size_t radio) override {
    log.push_back("radio " + std::to_string(radio) + " removed");
    if (mutex && FreeElsewhere(*mutex)) ++callsOutsideLock;
  }
  void Deliver(const Deliveries& deliveries) override {
    for (const Delivery& d : deliveries) {
      log.push_back(KindOf(d));
      all.push_back(d);
    }
    if (mutex && !FreeElsewhere(*mutex)) ++deliveriesUnderLock;
  }
  std::vector<std::string> Take() { return std::exchange(log, {}); }

  std::mutex* mutex = nullptr;
  std::vector<std::string> log;
  Deliveries all;
  int callsOutsideLock = 0;
  int deliveriesUnderLock = 0;
};

using Log = std::vector<std::string>;

TEST(SimTimelinePlayer, EachEventIsDeliveredAsOneDeliveryPerKind) {
  RecordingOutlet outlet;
  TimelinePlayer timeline(World(), TimeMode::Stepped, outlet);
  outlet.mutex = &timeline.mutex;

  timeline.Advance(999);
  EXPECT_TRUE(outlet.Take().empty());
  // A stranger comes into range: a radio event, and it is now known.
  timeline.Advance(1);
  EXPECT_EQ(outlet.Take(), (Log{"radio 0", "sighted"}));
  // Out of range again, never remembered: it is forgotten.
  timeline.Advance(1000);
  EXPECT_EQ(outlet.Take(), (Log{"radio 0", "removed"}));
  ASSERT_TRUE(std::holds_alternative<DeviceRemoved>(outlet.all.back()));
  EXPECT_EQ(std::get<DeviceRemoved>(outlet.all.back()).address, kStranger);
  timeline.Advance(1000);
  EXPECT_EQ(outlet.Take(), (Log{"radio 0", "sighted"}));
  // An adapter leaves: its registrations end first, then the tree changes.
  timeline.Advance(1000);
  EXPECT_EQ(outlet.Take(), (Log{"radio 0 removed", "tree"}));
  ASSERT_TRUE(std::holds_alternative<TreeChange>(outlet.all.back()));
  EXPECT_EQ(std::get<TreeChange>(outlet.all.back()).change.eventType,
            platform::kDeviceNodesChanged);
  EXPECT_EQ(timeline.NowMs(), 4000);

  EXPECT_EQ(outlet.callsOutsideLock, 0) << "registrations end under the lock";
  EXPECT_EQ(outlet.deliveriesUnderLock, 0) << "deliveries come without it";
}

TEST(SimTimelinePlayer, WallClockPlaysOnlyOnceStartedAndStopsWhenTold) {
  std::promise<void> played;
  struct Signalling final : TimelinePlayer::Outlet {
    void RadioRemoved(std::size_t) override {}
    void Deliver(const Deliveries& d) override {
      if (!d.empty() && ++calls == 1) done->set_value();
    }
    std::promise<void>* done = nullptr;
    int calls = 0;
  } signalling;
  signalling.done = &played;
  Scenario s = World();
  s.timeline.resize(1);  // the stranger comes into range, at once
  s.timeline[0].atMs = 0;
  TimelinePlayer timeline(std::move(s), TimeMode::Wall, signalling);
  timeline.Advance(5000);  // ignored on the wall clock
  EXPECT_EQ(signalling.calls, 0);
  timeline.Start();
  EXPECT_EQ(played.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  timeline.Stop();
  EXPECT_EQ(signalling.calls, 1);
}

// The device manager and scanner over a stepped timeline, all handing their
// deliveries to one recording outlet.
struct Pieces {
  Pieces()
      : timeline(World(), TimeMode::Stepped, outlet),
        scanner(timeline),
        devices(timeline, scanner, outlet) {
    outlet.mutex = &timeline.mutex;
  }
  RecordingOutlet outlet;
  TimelinePlayer timeline;
  SimScanner scanner;
  SimDeviceManager devices;
};

TEST(SimDeviceManagerPiece, HandsWhatItGatheredToTheOutletWithoutTheLockThenAnswers) {
  Pieces p;
  p.devices.Connect(kPhone, [&](const platform::DeviceResult& r) {
    EXPECT_TRUE(r.ok);
    p.outlet.log.push_back("answered");
  });
  EXPECT_EQ(p.outlet.Take(), (Log{"radio 0", "sighted", "answered"}));
  const auto& connected = std::get<RadioChange>(p.outlet.all[0]).change;
  EXPECT_EQ(connected.eventGuid, platform::kHciEventGuid);
  EXPECT_TRUE(connected.connected);
  EXPECT_EQ(std::get<DeviceChanged>(p.outlet.all[1]).device.address, kPhone);

  // Removing a connected device cuts it off, then it is out of range and
  // forgotten.
  p.devices.Remove(kPhone, {});
  EXPECT_EQ(p.outlet.Take(), (Log{"radio 0", "radio 0", "removed"}));
  EXPECT_EQ(p.outlet.deliveriesUnderLock, 0);
}

TEST(SimDeviceManagerPiece, ADeviceOnEveryRadioRaisesNoRadioEventWhileTheFirstIsGone) {
  Pieces p;
  p.devices.Connect(kHeadset, {});
  EXPECT_EQ(p.outlet.Take(), (Log{"radio 0", "sighted"}));
  p.timeline.Advance(4000);  // radio a (the first) is removed; b reports the headset still
  p.outlet.Take();
  p.devices.Disconnect(kHeadset, {});
  EXPECT_EQ(p.outlet.Take(), (Log{"changed"}));

  std::lock_guard lock(p.timeline.mutex);
  Deliveries out;
  p.scanner.ConnectionEvent(*p.timeline.IndexOf(kHeadset), out);
  EXPECT_TRUE(out.empty());
}

// --- the stack's handles once the stack is gone ---

struct HoldingAgent final : platform::PairingAgent {
  void ConfirmPasskey(BluetoothAddress, std::uint32_t, std::function<void(bool)> r) override {
    reply = std::move(r);
  }
  void DisplayPasskey(BluetoothAddress, std::uint32_t, std::uint16_t) override {}
  void DisplayPinCode(BluetoothAddress, const std::string&) override {}
  void RequestPinCode(BluetoothAddress, std::function<void(std::optional<std::string>)>) override {}
  void RequestPasskey(BluetoothAddress,
                      std::function<void(std::optional<std::uint32_t>)>) override {}
  void Cancel() override {}
  std::function<void(bool)> reply;
};

TEST(SimLifetime, RadioHandlesAndDiscoverySessionsMayOutliveTheStack) {
  std::unique_ptr<platform::RadioHandle> radio;
  std::unique_ptr<platform::DiscoverySession> session;
  {
    SimulatedStack stack(World(), TimeMode::Stepped);
    auto radios = stack.FindRadios();
    ASSERT_NE(radios, nullptr);
    radio = radios->Next();
    session = stack.StartDiscovery();
    ASSERT_TRUE(radio && session);
  }
  platform::RadioInfo info;
  ASSERT_TRUE(radio->GetInfo(info));
  EXPECT_EQ(info.name, "Alpha");
  session.reset();
}

TEST(SimLifetime, AnAgentsAnswerAfterTheStackIsGoneIsIgnored) {
  std::function<void(bool)> reply;
  bool answered = false;
  {
    SimulatedStack stack(World(), TimeMode::Stepped);
    HoldingAgent agent;
    auto registration = stack.RegisterPairingAgent(agent);
    stack.Pair(kHeadset, [&](const platform::DeviceResult&) { answered = true; });
    reply = std::move(agent.reply);
    ASSERT_TRUE(reply);
    EXPECT_FALSE(answered);
  }
  reply(true);
  EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace wren::sim
