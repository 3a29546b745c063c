#include "adapters/bluez/ObjectTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren::bluez {
namespace {

using platform::DeviceChange;
using platform::kFlagAddress;
using platform::kFlagClass;
using platform::kFlagConnected;
using platform::kFlagName;
using platform::kFlagPaired;
using platform::kFlagPersonal;

constexpr const char* kHci0 = "/org/bluez/hci0";
constexpr const char* kHci1 = "/org/bluez/hci1";
constexpr const char* kPhonePath = "/org/bluez/hci0/dev_00_1A_2B_3C_4D_5E";
constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;

Properties AdapterProps(const std::string& address, const std::string& name) {
  return {{"Address", Value::String(address)},
          {"Name", Value::String(name)},
          {"Alias", Value::String(name)},
          {"Class", Value::Unsigned(0x10010C, "u")},
          {"Powered", Value::Bool(true)}};
}

// A device as BlueZ announces one found by discovery.
Properties DeviceProps(const std::string& address, const std::string& name,
                       const std::string& adapter) {
  return {{"Address", Value::String(address)}, {"Name", Value::String(name)},
          {"Alias", Value::String(name)},      {"Class", Value::Unsigned(0x5A020C, "u")},
          {"Adapter", Value::Path(adapter)},   {"Paired", Value::Bool(false)},
          {"Trusted", Value::Bool(false)},     {"Connected", Value::Bool(false)},
          {"RSSI", Value::Signed(-60, "n")}};
}

ManagedObject Object(const std::string& path, const char* interface, Properties props) {
  return ManagedObject{path, Interfaces{{interface, std::move(props)}}};
}

class ObjectTreeTest : public ::testing::Test {
protected:
  void SetUp() override {
    TreeChanges ignored;
    tree.Reset({Object(kHci0, kAdapterInterface, AdapterProps("00:11:22:33:44:55", "desk"))}, false,
               ignored);
  }

  TreeChanges AddPhone(Properties props) {
    TreeChanges out;
    tree.AddInterfaces(Object(kPhonePath, kDeviceInterface, std::move(props)), out);
    return out;
  }

  TreeChanges Change(const std::string& path, Properties changed,
                     std::vector<std::string> invalidated = {}) {
    TreeChanges out;
    tree.ChangeProperties(path, kDeviceInterface, changed, invalidated, out);
    return out;
  }

  ObjectTree tree;
};

const DeviceChange& OnlyEvent(const TreeChanges& changes) {
  EXPECT_EQ(changes.radioEvents.size(), 1u);
  static const DeviceChange none;
  return changes.radioEvents.empty() ? none : changes.radioEvents.front().change;
}

TEST_F(ObjectTreeTest, ResetReadsAdaptersAndDevicesWithoutEvents) {
  TreeChanges out;
  Properties stored = DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0);
  stored.erase("RSSI");
  stored["Paired"] = Value::Bool(true);
  tree.Reset({Object(kHci1, kAdapterInterface, AdapterProps("00:11:22:33:44:66", "usb")),
              Object(kHci0, kAdapterInterface, AdapterProps("00:11:22:33:44:55", "desk")),
              Object(kPhonePath, kDeviceInterface, stored)},
             false, out);
  EXPECT_FALSE(out.deviceTreeChanged);
  EXPECT_TRUE(out.radioEvents.empty());
  EXPECT_TRUE(out.seen.empty()) << "a stored device without a signal was not seen";

  auto adapters = tree.Adapters();
  ASSERT_EQ(adapters.size(), 2u);
  EXPECT_EQ(adapters[0]->path, kHci0);
  EXPECT_EQ(adapters[0]->address, 0x001122334455ULL);
  EXPECT_EQ(adapters[0]->name, "desk");
  EXPECT_EQ(adapters[0]->classOfDevice, 0x10010Cu);
  EXPECT_TRUE(adapters[0]->powered);
  EXPECT_EQ(adapters[1]->path, kHci1);

  auto devices = tree.DevicesOf(kHci0);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]->address, kPhone);
  EXPECT_TRUE(devices[0]->Remembered());
  EXPECT_TRUE(devices[0]->Authenticated());
  EXPECT_FALSE(devices[0]->hasRssi);
  EXPECT_TRUE(tree.DevicesOf(kHci1).empty());
}

TEST_F(ObjectTreeTest, ResetAfterBlueZCameBackAnnouncesAdapterChanges) {
  TreeChanges same;
  tree.Reset({Object(kHci0, kAdapterInterface, AdapterProps("00:11:22:33:44:55", "desk"))}, true,
             same);
  EXPECT_FALSE(same.deviceTreeChanged);
  TreeChanges more;
  tree.Reset({Object(kHci0, kAdapterInterface, AdapterProps("00:11:22:33:44:55", "desk")),
              Object(kHci1, kAdapterInterface, AdapterProps("00:11:22:33:44:66", "usb"))},
             true, more);
  EXPECT_TRUE(more.deviceTreeChanged);
}

TEST_F(ObjectTreeTest, AdapterAddedAndRemovedChangeTheDeviceTree) {
  TreeChanges added;
  tree.AddInterfaces(Object(kHci1, kAdapterInterface, AdapterProps("00:11:22:33:44:66", "usb")),
                     added);
  EXPECT_TRUE(added.deviceTreeChanged);
  EXPECT_TRUE(added.radioEvents.empty());

  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges removed;
  tree.RemoveInterfaces(kHci0, {kAdapterInterface}, removed);
  EXPECT_TRUE(removed.deviceTreeChanged);
  EXPECT_TRUE(removed.radioEvents.empty()) << "the radio is gone; its devices go silently";
  EXPECT_EQ(tree.DeviceCount(), 0u);
  EXPECT_EQ(tree.Adapters().size(), 1u);

  TreeChanges again;
  tree.RemoveInterfaces(kHci0, {kAdapterInterface}, again);
  EXPECT_FALSE(again.deviceTreeChanged);
}

TEST_F(ObjectTreeTest, DeviceFoundByDiscoveryIsInRangeWithEveryBitGained) {
  TreeChanges out = AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  ASSERT_EQ(out.radioEvents.size(), 1u);
  EXPECT_EQ(out.radioEvents[0].adapterPath, kHci0);
  const DeviceChange& c = out.radioEvents[0].change;
  EXPECT_EQ(c.eventType, platform::kCustomEvent);
  EXPECT_TRUE(c.hasRecord);
  EXPECT_EQ(c.eventGuid, platform::kRadioInRangeGuid);
  EXPECT_EQ(c.address, kPhone);
  EXPECT_EQ(c.name, "Phone");
  EXPECT_EQ(c.flags, kFlagAddress | kFlagClass | kFlagName);
  EXPECT_EQ(c.previousFlags, 0u);
  EXPECT_EQ(out.seen, std::vector<BluetoothAddress>{kPhone});
  EXPECT_TRUE(out.used.empty());
}

TEST_F(ObjectTreeTest, StoredDeviceLoadedWithoutSignalIsNoEvent) {
  Properties stored = DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0);
  stored.erase("RSSI");
  stored["Paired"] = Value::Bool(true);
  TreeChanges out = AddPhone(stored);
  EXPECT_TRUE(out.radioEvents.empty());
  EXPECT_TRUE(out.seen.empty());
  EXPECT_EQ(tree.DeviceCount(), 1u);
}

TEST_F(ObjectTreeTest, ConnectedDeviceAppearingIsInRangeAndUsed) {
  Properties props = DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0);
  props.erase("RSSI");
  props["Connected"] = Value::Bool(true);
  TreeChanges out = AddPhone(props);
  EXPECT_EQ(OnlyEvent(out).flags & kFlagConnected, kFlagConnected);
  EXPECT_EQ(out.used, std::vector<BluetoothAddress>{kPhone});
}

TEST_F(ObjectTreeTest, SignalComingBackIsInRangeAndGoingIsOutOfRange) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));

  TreeChanges gone = Change(kPhonePath, {}, {"RSSI"});
  const DeviceChange& out = OnlyEvent(gone);
  EXPECT_EQ(out.eventGuid, platform::kRadioOutOfRangeGuid);
  EXPECT_EQ(out.deviceAddress, kPhone);
  EXPECT_TRUE(gone.seen.empty());

  TreeChanges back = Change(kPhonePath, {{"RSSI", Value::Signed(-70, "n")}});
  const DeviceChange& in = OnlyEvent(back);
  EXPECT_EQ(in.eventGuid, platform::kRadioInRangeGuid);
  EXPECT_EQ(in.flags, in.previousFlags) << "nothing but the range changed";
  EXPECT_EQ(back.seen, std::vector<BluetoothAddress>{kPhone});

  TreeChanges update = Change(kPhonePath, {{"RSSI", Value::Signed(-40, "n")}});
  EXPECT_TRUE(update.radioEvents.empty()) << "a new strength is a sighting, not an event";
  EXPECT_EQ(update.seen, std::vector<BluetoothAddress>{kPhone});
  EXPECT_EQ(tree.FindDevice(kPhonePath)->rssi, -40);
}

TEST_F(ObjectTreeTest, PairingReportsPairedAndRememberedBits) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges out =
      Change(kPhonePath, {{"Paired", Value::Bool(true)}, {"UUIDs", Value::Strings({"x"})}});
  const DeviceChange& c = OnlyEvent(out);
  EXPECT_EQ(c.previousFlags, kFlagAddress | kFlagClass | kFlagName);
  EXPECT_EQ(c.flags, kFlagAddress | kFlagClass | kFlagName | kFlagPaired | kFlagPersonal);
  EXPECT_TRUE(out.seen.empty()) << "no signal strength came with the change";
}

TEST_F(ObjectTreeTest, TrustedOrBondedIsRememberedButNotAuthenticated) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges trusted = Change(kPhonePath, {{"Trusted", Value::Bool(true)}});
  EXPECT_EQ(OnlyEvent(trusted).flags & (kFlagPaired | kFlagPersonal), kFlagPersonal);
  const Device* d = tree.FindDevice(kPhonePath);
  EXPECT_TRUE(d->Remembered());
  EXPECT_FALSE(d->Authenticated());

  Change(kPhonePath, {{"Trusted", Value::Bool(false)}, {"Bonded", Value::Bool(true)}});
  EXPECT_TRUE(tree.FindDevice(kPhonePath)->Remembered());
}

TEST_F(ObjectTreeTest, ConnectionChangesAreConnectionEventsOnly) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges up = Change(kPhonePath, {{"Connected", Value::Bool(true)}});
  const DeviceChange& c = OnlyEvent(up);
  EXPECT_EQ(c.eventGuid, platform::kHciEventGuid);
  EXPECT_EQ(c.bthAddress, kPhone);
  EXPECT_TRUE(c.connected);
  EXPECT_EQ(up.used, std::vector<BluetoothAddress>{kPhone});
  EXPECT_EQ(up.seen, std::vector<BluetoothAddress>{kPhone});

  TreeChanges down = Change(kPhonePath, {{"Connected", Value::Bool(false)}});
  EXPECT_FALSE(OnlyEvent(down).connected);
  EXPECT_TRUE(down.used.empty());

  TreeChanges same = Change(kPhonePath, {{"Connected", Value::Bool(false)}});
  EXPECT_TRUE(same.radioEvents.empty());
}

TEST_F(ObjectTreeTest, NameAndClassChangesAreInRangeEventsWithTheNewName) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges renamed = Change(kPhonePath, {{"Name", Value::String("Work phone")}});
  EXPECT_EQ(OnlyEvent(renamed).name, "Work phone");
  EXPECT_EQ(OnlyEvent(renamed).flags, OnlyEvent(renamed).previousFlags);

  TreeChanges reclassed = Change(kPhonePath, {{"Class", Value::Unsigned(0x200404, "u")}});
  EXPECT_EQ(OnlyEvent(reclassed).eventGuid, platform::kRadioInRangeGuid);
  EXPECT_EQ(tree.FindDevice(kPhonePath)->classOfDevice, 0x200404u);

  TreeChanges unrelated = Change(kPhonePath, {{"ServicesResolved", Value::Bool(true)}});
  EXPECT_TRUE(unrelated.radioEvents.empty());
  EXPECT_EQ(unrelated.changed, std::vector<BluetoothAddress>{kPhone})
      << "the property sheet still hears it";
}

TEST_F(ObjectTreeTest, ZeroClassIsNoClass) {
  Properties props = DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0);
  props["Class"] = Value::Unsigned(0, "u");
  EXPECT_EQ(OnlyEvent(AddPhone(props)).flags, kFlagAddress | kFlagName);
  TreeChanges classed = Change(kPhonePath, {{"Class", Value::Unsigned(0x5A020C, "u")}});
  EXPECT_EQ(OnlyEvent(classed).flags & kFlagClass, kFlagClass);
  EXPECT_EQ(OnlyEvent(classed).previousFlags & kFlagClass, 0u);
}

TEST_F(ObjectTreeTest, RemovedDeviceIsOutOfRangeOnItsRadio) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges out;
  tree.RemoveInterfaces(kPhonePath, {kDeviceInterface}, out);
  ASSERT_EQ(out.radioEvents.size(), 1u);
  EXPECT_EQ(out.radioEvents[0].adapterPath, kHci0);
  EXPECT_EQ(out.radioEvents[0].change.eventGuid, platform::kRadioOutOfRangeGuid);
  EXPECT_EQ(out.removed, std::vector<BluetoothAddress>{kPhone});
  EXPECT_EQ(tree.DeviceCount(), 0u);

  TreeChanges unknown;
  tree.RemoveInterfaces(kPhonePath, {kDeviceInterface}, unknown);
  EXPECT_TRUE(unknown.Empty());
}

TEST_F(ObjectTreeTest, ChangesOfUnknownObjectsAndInterfacesAreIgnored) {
  TreeChanges out =
      Change("/org/bluez/hci0/dev_11_11_11_11_11_11", {{"RSSI", Value::Signed(-1, "n")}});
  EXPECT_TRUE(out.Empty());
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges other;
  tree.ChangeProperties(kPhonePath, "org.bluez.MediaControl1", {{"Connected", Value::Bool(true)}},
                        {}, other);
  EXPECT_TRUE(other.Empty());
}

TEST_F(ObjectTreeTest, ClearForgetsEverything) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges out;
  tree.Clear(out);
  EXPECT_TRUE(out.deviceTreeChanged);
  EXPECT_TRUE(tree.Adapters().empty());
  EXPECT_EQ(tree.DeviceCount(), 0u);
  TreeChanges again;
  tree.Clear(again);
  EXPECT_FALSE(again.deviceTreeChanged);
}

// Replies from a misbehaving peer: wrong types count as not reported.
TEST_F(ObjectTreeTest, WrongTypesAreTakenAsMissing) {
  Properties props = {{"Address", Value::Signed(5, "i")},    {"Name", Value::Unsigned(7, "u")},
                      {"Alias", Value::Strings({"a", "b"})}, {"Class", Value::String("phone")},
                      {"Paired", Value::String("yes")},      {"Connected", Value::Signed(1, "i")},
                      {"RSSI", Value::Signed(100000, "i")},  {"Adapter", Value::String(kHci0)}};
  TreeChanges out = AddPhone(props);
  const Device* d = tree.FindDevice(kPhonePath);
  ASSERT_NE(d, nullptr) << "the address comes from the object path";
  EXPECT_EQ(d->address, kPhone);
  EXPECT_EQ(d->adapterPath, kHci0) << "from the path when Adapter is not an object path";
  EXPECT_TRUE(d->name.empty());
  EXPECT_FALSE(d->hasClass);
  EXPECT_FALSE(d->paired);
  EXPECT_FALSE(d->connected);
  EXPECT_FALSE(d->hasRssi);
  EXPECT_TRUE(out.radioEvents.empty());
}

TEST_F(ObjectTreeTest, DeviceWithoutAnyAddressIsNotKept) {
  TreeChanges out;
  tree.AddInterfaces(
      Object("/org/bluez/hci0/somewhere", kDeviceInterface, {{"Name", Value::String("x")}}), out);
  tree.AddInterfaces(Object("/org/bluez/hci0/dev_zz", kDeviceInterface,
                            {{"Address", Value::String("00:1A:2B:3C:4D")}}),
                     out);
  EXPECT_EQ(tree.DeviceCount(), 0u);
  EXPECT_TRUE(out.radioEvents.empty());
}

TEST_F(ObjectTreeTest, AnUpdateThatWouldChangeTheIdentityIsRefused) {
  AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", "Phone", kHci0));
  TreeChanges out = Change(kPhonePath, {{"Address", Value::String("66:55:44:33:22:11")},
                                        {"Name", Value::String("Other")}});
  EXPECT_TRUE(out.Empty());
  EXPECT_EQ(tree.FindDevice(kPhonePath)->address, kPhone);
  EXPECT_EQ(tree.FindDevice(kPhonePath)->name, "Phone");
}

TEST_F(ObjectTreeTest, HugeNamesAreCutToTheBluetoothLimitOnACharacterBoundary) {
  std::string huge = "A";
  for (int i = 0; i < 5000; ++i) huge += "\xC3\xA9";  // é
  TreeChanges out = AddPhone(DeviceProps("00:1A:2B:3C:4D:5E", huge, kHci0));
  const std::string& name = tree.FindDevice(kPhonePath)->name;
  EXPECT_EQ(name.size(), 247u) << "248 would split the last two-byte character";
  EXPECT_EQ(name.substr(0, 3), "A\xC3\xA9");
  EXPECT_EQ(OnlyEvent(out).name, name);
}

TEST_F(ObjectTreeTest, NameFallsBackToAliasButNotToTheAddressAlias) {
  Properties props = DeviceProps("00:1A:2B:3C:4D:5E", "", kHci0);
  props.erase("Name");
  props["Alias"] = Value::String("00-1A-2B-3C-4D-5E");
  EXPECT_EQ(OnlyEvent(AddPhone(props)).flags & kFlagName, 0u);
  TreeChanges named = Change(kPhonePath, {{"Alias", Value::String("Kitchen")}});
  EXPECT_EQ(OnlyEvent(named).name, "Kitchen");
  EXPECT_EQ(OnlyEvent(named).flags & kFlagName, kFlagName);
}

TEST(ObjectTreeAddresses, TextsPathsAndParsing) {
  BluetoothAddress a = 0;
  EXPECT_TRUE(BluetoothAddress::Parse("00:1a:2B:3c:4D:5e", a));
  EXPECT_EQ(a, kPhone);
  EXPECT_EQ(a.Text(), "00:1A:2B:3C:4D:5E");
  EXPECT_FALSE(BluetoothAddress::Parse("00:1A:2B:3C:4D:5", a));
  EXPECT_FALSE(BluetoothAddress::Parse("00-1A-2B-3C-4D-5E", a));
  EXPECT_FALSE(BluetoothAddress::Parse("00:1A:2B:3C:4D:5G", a));
  EXPECT_TRUE(AddressFromDevicePath(kPhonePath, a));
  EXPECT_EQ(a, kPhone);
  EXPECT_FALSE(AddressFromDevicePath("/org/bluez/hci0", a));
  EXPECT_FALSE(AddressFromDevicePath("/org/bluez/hci0/dev_00_1A_2B_3C_4D_5E/sep1", a));
}

// The five search flags against the three kinds of device a radio knows.
TEST(ObjectTreeSearch, FlagsSelectAuthenticatedRememberedUnknownAndConnected) {
  Device paired;
  paired.paired = true;
  Device trusted;
  trusted.trusted = true;
  Device unknown;
  Device connectedUnknown;
  connectedUnknown.connected = true;

  struct Row {
    int authenticated, remembered, unknown, connected;
    bool paired, trusted, unknownDevice, connectedUnknown;
  };
  const Row rows[] = {
      {1, 0, 0, 0, true, false, false, false}, {0, 1, 0, 0, true, true, false, false},
      {0, 0, 1, 0, false, false, true, true},  {0, 0, 0, 1, false, false, false, true},
      {1, 1, 0, 0, true, true, false, false},  {0, 0, 0, 0, false, false, false, false},
      {1, 1, 1, 1, true, true, true, true},
  };
  for (const Row& r : rows) {
    platform::DeviceSearch s;
    s.returnAuthenticated = r.authenticated;
    s.returnRemembered = r.remembered;
    s.returnUnknown = r.unknown;
    s.returnConnected = r.connected;
    SCOPED_TRACE(testing::Message() << r.authenticated << r.remembered << r.unknown << r.connected);
    EXPECT_EQ(MatchesSearch(paired, s), r.paired);
    EXPECT_EQ(MatchesSearch(trusted, s), r.trusted);
    EXPECT_EQ(MatchesSearch(unknown, s), r.unknownDevice);
    EXPECT_EQ(MatchesSearch(connectedUnknown, s), r.connectedUnknown);
  }
}

}  // namespace
}  // namespace wren::bluez
