// The BlueZ stack against python-dbusmock's bluez5 template on a private
// bus: what BlueZ would send, the stack turns into radios, devices and
// device events.

#include <QDBusObjectPath>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "MockBluez.h"
#include "core/bluetooth/BluetoothPlatform.h"
#include "base/SdpDecoder.h"
#include "adapters/bluez/BluezStack.h"
#include "adapters/bluez/DeviceTimes.h"
#include "adapters/bluez/ObjectTree.h"

namespace wren::bluez {
namespace {

using platform::BluetoothAddress;
using platform::DeviceChange;
using platform::DeviceInfo;
using platform::DeviceSearch;
using test::MockBluez;
using test::WaitUntil;

const QString kHci0 = QStringLiteral("hci0");
const QString kHci1 = QStringLiteral("hci1");
const QString kAdapter0 = QStringLiteral("/org/bluez/hci0");
const QString kPhoneText = QStringLiteral("00:1A:2B:3C:4D:5E");
constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;
constexpr BluetoothAddress kRadio0 = 0x000102030405ULL;  // the template's address for hci0
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kDevice1 = QStringLiteral("org.bluez.Device1");
const QString kAdapter1 = QStringLiteral("org.bluez.Adapter1");

class Recorder : public platform::DeviceChangeSink {
public:
  void OnDeviceChange(const DeviceChange& change) override {
    std::lock_guard lock(m_mutex);
    m_events.push_back(change);
  }
  std::vector<DeviceChange> Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
  }
  std::size_t Count(const platform::EventGuid& guid) const {
    std::size_t n = 0;
    for (const auto& e : Events())
      n += e.eventType == platform::kCustomEvent && e.eventGuid == guid;
    return n;
  }
  std::size_t TreeChanges() const {
    std::size_t n = 0;
    for (const auto& e : Events()) n += e.eventType == platform::kDeviceNodesChanged;
    return n;
  }
  // The latest event of that kind, once `count` of them arrived.
  bool WaitFor(const platform::EventGuid& guid, std::size_t count,
               DeviceChange* out = nullptr) const {
    if (!WaitUntil([&] { return Count(guid) >= count; })) return false;
    if (out) {
      for (const auto& e : Events())
        if (e.eventType == platform::kCustomEvent && e.eventGuid == guid) *out = e;
    }
    return true;
  }

private:
  mutable std::mutex m_mutex;
  std::vector<DeviceChange> m_events;
};

class BluezMockTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(mock.Start()) << mock.Error(); }

  BluezOptions Options() const { return mock.StackOptions(); }

  std::unique_ptr<BluezStack> MakeStack(const BluezOptions& options) {
    std::string error;
    auto stack = BluezStack::Create(options, error);
    EXPECT_NE(stack, nullptr) << error;
    return stack;
  }
  std::unique_ptr<BluezStack> MakeStack() { return MakeStack(Options()); }

  struct Radio {
    std::unique_ptr<platform::RadioHandle> handle;
    platform::RadioInfo info;
  };
  static std::vector<Radio> Radios(platform::BluetoothStack& stack) {
    std::vector<Radio> out;
    auto find = stack.FindRadios();
    if (!find) return out;
    while (auto radio = find->Next()) {
      Radio r;
      EXPECT_TRUE(radio->GetInfo(r.info));
      r.handle = std::move(radio);
      out.push_back(std::move(r));
    }
    return out;
  }

  static DeviceSearch All() {
    DeviceSearch s;
    s.returnAuthenticated = s.returnRemembered = s.returnUnknown = s.returnConnected = 1;
    return s;
  }
  static std::vector<DeviceInfo> Devices(platform::BluetoothStack& stack, DeviceSearch search,
                                         std::stop_token cancel = {}) {
    std::vector<DeviceInfo> out;
    auto find = stack.FindDevices(search, cancel);
    if (!find) return out;
    DeviceInfo info;
    while (find->Next(info)) out.push_back(info);
    return out;
  }
  static const DeviceInfo* Find(const std::vector<DeviceInfo>& devices, BluetoothAddress address) {
    for (const auto& d : devices)
      if (d.address == address) return &d;
    return nullptr;
  }
  static std::string Property(const BluezStack& stack, BluetoothAddress device,
                              const std::string& name) {
    for (const auto& p : stack.RawProperties(device))
      if (p.name == name) return p.value;
    return "(absent)";
  }

  MockBluez mock;
};

TEST_F(BluezMockTest, AdaptersAndDevicesAppear) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  EXPECT_TRUE(stack->ServiceAnswered());
  EXPECT_FALSE(stack->IsSimulation());
  EXPECT_FALSE(stack->BusUniqueName().empty());

  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);
  EXPECT_EQ(radios[0].info.address, kRadio0);
  EXPECT_EQ(radios[0].info.name, "desk");
  EXPECT_EQ(radios[0].info.classOfDevice, 268u);

  DeviceSearch unknown;
  unknown.returnUnknown = 1;
  unknown.radio = radios[0].handle.get();
  auto devices = Devices(*stack, unknown);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].address, kPhone);
  EXPECT_EQ(devices[0].name, "Phone");
  EXPECT_FALSE(devices[0].remembered);
  EXPECT_FALSE(devices[0].authenticated);
  EXPECT_FALSE(devices[0].connected);
  EXPECT_FALSE(devices[0].lastSeen.IsZero()) << "a device with a signal strength was seen";
  EXPECT_TRUE(devices[0].lastUsed.IsZero());
  DeviceSearch remembered;
  remembered.returnAuthenticated = remembered.returnRemembered = 1;
  EXPECT_TRUE(Devices(*stack, remembered).empty());

  Recorder tree, radio0, radio1;
  auto treeHandle = stack->WatchDeviceTree(tree);
  auto radio0Handle = stack->RegisterRadioEvents(*radios[0].handle, radio0);
  ASSERT_TRUE(treeHandle && radio0Handle);

  mock.AddAdapter(kHci1, QStringLiteral("usb"));
  ASSERT_TRUE(WaitUntil([&] { return tree.TreeChanges() == 1; }));
  radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 2u);
  EXPECT_EQ(radios[1].info.name, "usb");
  auto radio1Handle = stack->RegisterRadioEvents(*radios[1].handle, radio1);

  mock.AddDevice(kHci0, QStringLiteral("00:25:56:AA:BB:CC"), QStringLiteral("Headset"));
  DeviceChange in;
  ASSERT_TRUE(radio0.WaitFor(platform::kRadioInRangeGuid, 1, &in));
  EXPECT_EQ(in.address, 0x002556AABBCCULL);
  EXPECT_EQ(in.name, "Headset");
  EXPECT_EQ(in.flags, platform::kFlagAddress | platform::kFlagName)
      << "the template's class 0 is no class";
  EXPECT_EQ(in.previousFlags, 0u);

  mock.AddDevice(kHci1, QStringLiteral("00:25:56:AA:BB:CD"), QStringLiteral("Mouse"));
  ASSERT_TRUE(radio1.WaitFor(platform::kRadioInRangeGuid, 1, &in));
  EXPECT_EQ(in.name, "Mouse");
  EXPECT_EQ(radio0.Count(platform::kRadioInRangeGuid), 1u)
      << "each radio hears only its own devices";

  mock.RemoveAdapter(kHci1);
  ASSERT_TRUE(WaitUntil([&] { return tree.TreeChanges() == 2; }));
  EXPECT_EQ(Radios(*stack).size(), 1u);
}

TEST_F(BluezMockTest, PairingConnectionAndRemoval) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  const QString path = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);
  Recorder events;
  auto handle = stack->RegisterRadioEvents(*radios[0].handle, events);

  mock.PairDevice(kHci0, kPhoneText, 0x5A020C);
  DeviceChange in;
  ASSERT_TRUE(events.WaitFor(platform::kRadioInRangeGuid, 1, &in));
  EXPECT_EQ(in.address, kPhone);
  EXPECT_EQ(in.previousFlags, platform::kFlagAddress | platform::kFlagName);
  EXPECT_EQ(in.flags, platform::kFlagAddress | platform::kFlagClass | platform::kFlagName |
                          platform::kFlagPaired | platform::kFlagPersonal);

  DeviceSearch authenticated;
  authenticated.returnAuthenticated = 1;
  auto devices = Devices(*stack, authenticated);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_TRUE(devices[0].authenticated);
  EXPECT_TRUE(devices[0].remembered);
  EXPECT_EQ(devices[0].classOfDevice, 0x5A020Cu);

  mock.ConnectDevice(kHci0, kPhoneText);
  DeviceChange hci;
  ASSERT_TRUE(events.WaitFor(platform::kHciEventGuid, 1, &hci));
  EXPECT_EQ(hci.bthAddress, kPhone);
  EXPECT_TRUE(hci.connected);
  DeviceSearch connected;
  connected.returnConnected = 1;
  devices = Devices(*stack, connected);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_TRUE(devices[0].connected);
  EXPECT_FALSE(devices[0].lastUsed.IsZero());

  mock.DisconnectDevice(kHci0, kPhoneText);
  ASSERT_TRUE(events.WaitFor(platform::kHciEventGuid, 2, &hci));
  EXPECT_FALSE(hci.connected);
  EXPECT_TRUE(Devices(*stack, connected).empty());

  // The device's own methods, as a desktop would call them.
  mock.Must(path, kDevice1, QStringLiteral("Connect"));
  ASSERT_TRUE(events.WaitFor(platform::kHciEventGuid, 3, &hci));
  EXPECT_TRUE(hci.connected);
  mock.Must(path, kDevice1, QStringLiteral("Disconnect"));
  ASSERT_TRUE(events.WaitFor(platform::kHciEventGuid, 4, &hci));
  EXPECT_FALSE(hci.connected);
  EXPECT_EQ(events.Count(platform::kRadioInRangeGuid), 1u)
      << "a connection alone is no in-range event";

  mock.Must(kAdapter0, kAdapter1, QStringLiteral("RemoveDevice"),
            {QVariant::fromValue(QDBusObjectPath(path))});
  DeviceChange out;
  ASSERT_TRUE(events.WaitFor(platform::kRadioOutOfRangeGuid, 1, &out));
  EXPECT_EQ(out.deviceAddress, kPhone);
  EXPECT_TRUE(Devices(*stack, All()).empty());
  EXPECT_TRUE(stack->RawProperties(kPhone).empty());
}

TEST_F(BluezMockTest, PropertyUpdatesReachEventsDevicesAndTheSheet) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  const QString path = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);
  Recorder events;
  auto handle = stack->RegisterRadioEvents(*radios[0].handle, events);
  EXPECT_EQ(Property(*stack, kPhone, "Alias"), "Phone");
  EXPECT_EQ(Property(*stack, kPhone, "RSSI"), "-79");

  mock.UpdateProperties(path, kDevice1,
                        {{QStringLiteral("RSSI"), QVariant::fromValue<short>(-50)}});
  ASSERT_TRUE(WaitUntil([&] { return Property(*stack, kPhone, "RSSI") == "-50"; }));
  EXPECT_TRUE(events.Events().empty()) << "a new strength is no event";

  mock.UpdateProperties(path, kDevice1,
                        {{QStringLiteral("Class"), QVariant::fromValue(0x200404u)}});
  DeviceChange in;
  ASSERT_TRUE(events.WaitFor(platform::kRadioInRangeGuid, 1, &in));
  EXPECT_EQ(in.flags & platform::kFlagClass, platform::kFlagClass);
  EXPECT_EQ(in.previousFlags & platform::kFlagClass, 0u);
  auto devices = Devices(*stack, All());
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].classOfDevice, 0x200404u);

  mock.UpdateProperties(path, kDevice1, {{QStringLiteral("Name"), QStringLiteral("Work phone")}});
  ASSERT_TRUE(events.WaitFor(platform::kRadioInRangeGuid, 2, &in));
  EXPECT_EQ(in.name, "Work phone");
  EXPECT_EQ(in.flags, in.previousFlags);
  EXPECT_EQ(Property(*stack, kPhone, "Name"), "Work phone");
  EXPECT_EQ(Devices(*stack, All()).at(0).name, "Work phone");

  // BlueZ drops the strength of a device no longer heard.
  ASSERT_EQ(mock.Helper({QStringLiteral("invalidate"), path, QStringLiteral("RSSI")}), 0);
  DeviceChange out;
  ASSERT_TRUE(events.WaitFor(platform::kRadioOutOfRangeGuid, 1, &out));
  EXPECT_EQ(out.deviceAddress, kPhone);
  EXPECT_EQ(Property(*stack, kPhone, "RSSI"), "(absent)");

  mock.UpdateProperties(path, kDevice1,
                        {{QStringLiteral("RSSI"), QVariant::fromValue<short>(-60)}});
  ASSERT_TRUE(events.WaitFor(platform::kRadioInRangeGuid, 3, &in));
  EXPECT_EQ(in.flags, in.previousFlags) << "back in range, nothing else changed";
}

TEST_F(BluezMockTest, InquiryIsADiscoverySessionOfTheAskedLength) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);

  DeviceSearch search;
  search.returnUnknown = 1;
  search.issueInquiry = 1;
  search.timeoutMultiplier = 2;
  search.radio = radios[0].handle.get();
  auto inquiry = std::async(std::launch::async, [&] { return Devices(*stack, search); });
  ASSERT_TRUE(WaitUntil(
      [&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StartDiscovery")); }));
  mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Found"));
  auto found = inquiry.get();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Found");
  ASSERT_TRUE(
      WaitUntil([&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StopDiscovery")); }));
  EXPECT_EQ(mock.CallsOn(kAdapter0),
            (QStringList{QStringLiteral("SetDiscoveryFilter"), QStringLiteral("StartDiscovery"),
                         QStringLiteral("StopDiscovery")}));
}

TEST_F(BluezMockTest, OverlappingInquiriesShareOneSessionAndCancelPromptly) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);

  DeviceSearch longSearch;
  longSearch.returnUnknown = 1;
  longSearch.issueInquiry = 1;
  longSearch.timeoutMultiplier = 45;  // 57.6 s, unless cancelled
  longSearch.radio = radios[0].handle.get();
  std::stop_source first, second;
  auto a = std::async(std::launch::async,
                      [&] { return Devices(*stack, longSearch, first.get_token()); });
  auto b = std::async(std::launch::async,
                      [&] { return Devices(*stack, longSearch, second.get_token()); });
  ASSERT_TRUE(WaitUntil(
      [&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StartDiscovery")); }));
  first.request_stop();
  EXPECT_TRUE(a.get().empty()) << "a cancelled inquiry has no result";
  second.request_stop();
  EXPECT_TRUE(b.get().empty());
  ASSERT_TRUE(
      WaitUntil([&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StopDiscovery")); }));
  EXPECT_EQ(mock.CallsOn(kAdapter0).count(QStringLiteral("StartDiscovery")), 1);
  EXPECT_EQ(mock.CallsOn(kAdapter0).count(QStringLiteral("StopDiscovery")), 1);

  // Switched off: still a radio, but it reports no devices.
  mock.UpdateProperties(kAdapter0, kAdapter1, {{QStringLiteral("Powered"), false}});
  ASSERT_TRUE(WaitUntil([&] { return Devices(*stack, All()).empty(); }));
  EXPECT_EQ(Radios(*stack).size(), 1u);
}

TEST_F(BluezMockTest, DiscoverySessionAndDeviceListenersForTheDialogs) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  const QString path = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);

  struct Listener : platform::DeviceListener {
    std::mutex m;
    std::vector<std::pair<platform::DeviceProperties, bool>> changed;
    std::vector<BluetoothAddress> removed;
    void OnDeviceChanged(const platform::DeviceProperties& d, bool sighted) override {
      std::lock_guard l(m);
      changed.emplace_back(d, sighted);
    }
    void OnDeviceRemoved(BluetoothAddress a) override {
      std::lock_guard l(m);
      removed.push_back(a);
    }
    std::size_t Changes() {
      std::lock_guard l(m);
      return changed.size();
    }
  } listener;
  auto watch = stack->WatchDevices(listener);
  {
    auto discovery = stack->StartDiscovery();
    ASSERT_TRUE(WaitUntil(
        [&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StartDiscovery")); }));
    mock.AddDevice(kHci0, QStringLiteral("00:25:56:AA:BB:CC"), QStringLiteral("Found"));
    ASSERT_TRUE(WaitUntil([&] { return listener.Changes() >= 1; }));
    std::lock_guard l(listener.m);
    EXPECT_EQ(listener.changed[0].first.name, "Found");
    EXPECT_TRUE(listener.changed[0].second) << "a find is a sighting";
  }
  ASSERT_TRUE(
      WaitUntil([&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StopDiscovery")); }));

  mock.UpdateProperties(path, kDevice1, {{QStringLiteral("Trusted"), true}});
  ASSERT_TRUE(WaitUntil([&] { return listener.Changes() >= 2; }));
  {
    std::lock_guard l(listener.m);
    EXPECT_EQ(listener.changed[1].first.address, kPhone);
    EXPECT_TRUE(listener.changed[1].first.trusted);
    EXPECT_FALSE(listener.changed[1].second);
  }
  EXPECT_EQ(Property(*stack, kPhone, "Trusted"), "yes");

  watch.reset();
  mock.UpdateProperties(path, kDevice1, {{QStringLiteral("Trusted"), false}});
  ASSERT_TRUE(WaitUntil([&] { return Property(*stack, kPhone, "Trusted") == "no"; }));
  EXPECT_EQ(listener.Changes(), 2u) << "no calls once unregistered";
}

TEST_F(BluezMockTest, PairingFromTheProgramGivesErrorsInWords) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto pair = [&](BluetoothAddress a) {
    auto promise = std::make_shared<std::promise<platform::DeviceResult>>();
    auto future = promise->get_future();
    stack->Pair(a, [promise](const platform::DeviceResult& r) { promise->set_value(r); });
    EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    return future.get();
  };
  platform::DeviceResult first = pair(kPhone);
  EXPECT_TRUE(first.ok) << platform::DeviceErrorText(first);
  ASSERT_TRUE(WaitUntil([&] {
    DeviceSearch s;
    s.returnAuthenticated = 1;
    return !Devices(*stack, s).empty();
  }));
  platform::DeviceResult again = pair(kPhone);
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.error, platform::DeviceError::AlreadyExists);
  EXPECT_EQ(platform::DeviceErrorText(again), "The device is already paired.");
  platform::DeviceResult unknown = pair(0x112233445566ULL);
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.error, platform::DeviceError::DoesNotExist);
  EXPECT_EQ(platform::DeviceErrorText(unknown),
            "The device is no longer known to the Bluetooth service.");
}

TEST_F(BluezMockTest, AgentIsOffByDefault) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  ASSERT_TRUE(stack->ServiceAnswered());
  EXPECT_FALSE(
      mock.CallsOn(QStringLiteral("/org/bluez")).contains(QStringLiteral("RegisterAgent")));
}

TEST_F(BluezMockTest, AgentReportsPairingRequestsAndDeclinesThem) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  const QString path = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  BluezOptions options = Options();
  options.pairingAgent = true;
  auto stack = MakeStack(options);
  ASSERT_TRUE(stack);
  ASSERT_TRUE(WaitUntil([&] {
    return mock.CallsOn(QStringLiteral("/org/bluez"))
        .contains(QStringLiteral("RequestDefaultAgent"));
  }));
  EXPECT_EQ(mock.CallsOn(QStringLiteral("/org/bluez")),
            (QStringList{QStringLiteral("RegisterAgent"), QStringLiteral("RequestDefaultAgent")}));
  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);
  Recorder events;
  auto handle = stack->RegisterRadioEvents(*radios[0].handle, events);
  const QString us = QString::fromStdString(stack->BusUniqueName());

  std::size_t expected = 0;
  for (const char* method : {"RequestPinCode", "RequestPasskey", "RequestConfirmation",
                             "RequestAuthorization", "AuthorizeService", "DisplayPinCode"}) {
    QString answer;
    ASSERT_EQ(
        mock.Helper({QStringLiteral("call-agent"), us, QString::fromLatin1(method), path}, &answer),
        0);
    EXPECT_EQ(answer, QStringLiteral("org.bluez.Error.Rejected")) << method;
    ASSERT_TRUE(events.WaitFor(platform::kPinRequestGuid, ++expected)) << method;
  }
  QString answer;
  ASSERT_EQ(mock.Helper({QStringLiteral("call-agent"), us, QStringLiteral("DisplayPasskey"), path},
                        &answer),
            0);
  EXPECT_EQ(answer, QStringLiteral("ok")) << "BlueZ takes no refusal here";
  ASSERT_TRUE(events.WaitFor(platform::kPinRequestGuid, ++expected));
  for (const char* method : {"Cancel", "Release"}) {
    ASSERT_EQ(
        mock.Helper({QStringLiteral("call-agent"), us, QString::fromLatin1(method), path}, &answer),
        0);
    EXPECT_EQ(answer, QStringLiteral("ok"));
  }

  // Anyone else on the bus is refused and reported nothing.
  QDBusMessage call = QDBusMessage::createMethodCall(
      us, QStringLiteral("/org/pelmark/wrenlocator/agent"), QStringLiteral("org.bluez.Agent1"),
      QStringLiteral("RequestPinCode"));
  call << QVariant::fromValue(QDBusObjectPath(path));
  QDBusMessage reply =
      QDBusConnection::connectToBus(QString::fromUtf8(qgetenv("DBUS_SYSTEM_BUS_ADDRESS")),
                                    QStringLiteral("wren-test-stranger"))
          .call(call, QDBus::Block, 10000);
  EXPECT_EQ(reply.errorName(), QStringLiteral("org.bluez.Error.Rejected"));
  QDBusConnection::disconnectFromBus(QStringLiteral("wren-test-stranger"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(events.Count(platform::kPinRequestGuid), expected);
  for (const auto& e : events.Events()) EXPECT_TRUE(e.hasRecord);
}

TEST_F(BluezMockTest, WrongTypesMissingPropertiesAndHugeStringsAreSurvived) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  const QString path = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);
  Recorder events;
  auto handle = stack->RegisterRadioEvents(*radios[0].handle, events);

  ASSERT_EQ(mock.Helper({QStringLiteral("bad-device"), kHci0, QStringLiteral("00:BA:D0:00:00:01")}),
            0);
  constexpr BluetoothAddress kBad = 0x00BAD0000001ULL;
  ASSERT_TRUE(WaitUntil([&] { return !stack->RawProperties(kBad).empty(); }));
  auto devices = Devices(*stack, All());
  const DeviceInfo* bad = Find(devices, kBad);
  ASSERT_NE(bad, nullptr) << "its address is read from its object path";
  EXPECT_EQ(bad->name, std::string(248, 'N')) << "a megabyte name is cut to the Bluetooth limit";
  EXPECT_EQ(bad->classOfDevice, 0u);
  EXPECT_FALSE(bad->remembered);
  EXPECT_FALSE(bad->connected);
  EXPECT_LE(Property(*stack, kBad, "ManufacturerData").size(), 4096u);
  EXPECT_NE(Property(*stack, kBad, "Deep").find("..."), std::string::npos)
      << "deep nesting is cut short";

  ASSERT_EQ(mock.Helper({QStringLiteral("bad-signals"), path}), 0);
  ASSERT_EQ(mock.Helper({QStringLiteral("huge-name"), path, QStringLiteral("2000000")}), 0);
  DeviceChange in;
  ASSERT_TRUE(events.WaitFor(platform::kRadioInRangeGuid, 1, &in));
  EXPECT_EQ(in.name, std::string(248, 'h'));

  // Still listening after all that.
  mock.UpdateProperties(path, kDevice1, {{QStringLiteral("Name"), QStringLiteral("Phone")}});
  ASSERT_TRUE(events.WaitFor(platform::kRadioInRangeGuid, 2, &in));
  EXPECT_EQ(in.name, "Phone");

  // And the same objects read from the object manager's answer.
  handle.reset();
  radios.clear();
  stack.reset();
  stack = MakeStack();
  ASSERT_TRUE(stack);
  devices = Devices(*stack, All());
  ASSERT_NE(Find(devices, kBad), nullptr);
  EXPECT_EQ(Find(devices, kBad)->name.size(), 248u);
}

// The records a scan makes of the mock's devices, unknown ones included.
DeviceList ScanAll(platform::BluetoothStack& stack) {
  BluetoothPlatform bluetooth(stack);
  bluetooth.LoadVendorDatabase();
  SearchParams params;
  params.m_returnUnknown = 1;
  DeviceList list;
  bluetooth.ScanDevices(list, params);
  return list;
}

const DeviceRecord* FindRecord(const DeviceList& list, std::string_view address) {
  for (const DeviceRecord& r : list)
    if (r.m_address == address) return &r;
  return nullptr;
}

TEST_F(BluezMockTest, LowEnergyDevicesShowAppearanceCompanyAndServices) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  // A watch on a random address, and a heart-rate belt on a public one
  // (F4-F5-D8 is a registered prefix).
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  ASSERT_EQ(
      mock.Helper({QStringLiteral("le"), kHci0, QStringLiteral("7A:11:22:33:44:55"),
                   QStringLiteral("random"), QStringLiteral("0x00C1"), QStringLiteral("0x004C")}),
      0);
  ASSERT_EQ(
      mock.Helper({QStringLiteral("le"), kHci0, QStringLiteral("F4:F5:D8:44:55:66"),
                   QStringLiteral("public"), QStringLiteral("0x0341"), QStringLiteral("0x004C"),
                   QStringLiteral("0000180d-0000-1000-8000-00805f9b34fb"),
                   QStringLiteral("0000180f-0000-1000-8000-00805f9b34fb")}),
      0);
  constexpr BluetoothAddress kWatch = 0x7A1122334455ULL;
  constexpr BluetoothAddress kBelt = 0xF4F5D8445566ULL;
  ASSERT_TRUE(WaitUntil([&] {
    auto devices = Devices(*stack, All());
    const DeviceInfo* w = Find(devices, kWatch);
    const DeviceInfo* b = Find(devices, kBelt);
    return w && b && w->le.appearance && b->le.appearance && !b->uuids.empty();
  }));

  // Both ways in: the signal that announced them to a running stack, and
  // the object list a stack started afterwards reads.
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "from signals" : "from the object list");
    if (pass == 1) {
      stack.reset();
      stack = MakeStack();
      ASSERT_TRUE(stack);
    }
    auto devices = Devices(*stack, All());
    const DeviceInfo* w = Find(devices, kWatch);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->le.addressType, platform::AddressType::Random);
    EXPECT_EQ(w->le.appearance, std::optional<std::uint16_t>(0x00C1));
    ASSERT_EQ(w->le.manufacturerData.size(), 1u);
    EXPECT_EQ(w->le.manufacturerData[0].first, 0x004C);
    EXPECT_EQ(w->le.manufacturerData[0].second, (std::vector<std::uint8_t>{0x02, 0x15, 0xAB}));
    ASSERT_EQ(w->le.serviceData.size(), 1u);
    EXPECT_EQ(w->le.serviceData[0].first, "0000180d-0000-1000-8000-00805f9b34fb");
    EXPECT_EQ(w->le.serviceData[0].second, std::vector<std::uint8_t>{7});

    DeviceList scan = ScanAll(*stack);
    const DeviceRecord* watchRecord = FindRecord(scan, "7A:11:22:33:44:55");
    ASSERT_NE(watchRecord, nullptr);
    EXPECT_NE(watchRecord->m_type.find("Watch"), std::string::npos) << watchRecord->m_type;
    EXPECT_EQ(watchRecord->m_image, 9);
    EXPECT_EQ(watchRecord->m_producer, "Apple, Inc.");
    EXPECT_EQ(watchRecord->m_addressType, "random");
    EXPECT_EQ(watchRecord->m_companyId, 0x004C);

    const DeviceRecord* beltRecord = FindRecord(scan, "F4:F5:D8:44:55:66");
    ASSERT_NE(beltRecord, nullptr);
    EXPECT_EQ(beltRecord->m_type, "Heart Rate Sensor/Heart Rate Belt");
    EXPECT_EQ(beltRecord->m_services, "Heart Rate,Battery Service");
    // A public address keeps the producer of its vendor prefix.
    EXPECT_EQ(beltRecord->m_producer, "Google, Inc.");
    EXPECT_EQ(beltRecord->m_addressType, "public");
  }
}

TEST_F(BluezMockTest, LowEnergyPropertiesOfTheWrongTypeAreIgnored) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  ASSERT_EQ(mock.Helper({QStringLiteral("bad-le"), kHci0, QStringLiteral("F4:F5:D8:00:00:07")}), 0);
  constexpr BluetoothAddress kBad = 0xF4F5D8000007ULL;
  ASSERT_TRUE(WaitUntil([&] {
    auto devices = Devices(*stack, All());
    const DeviceInfo* d = Find(devices, kBad);
    return d && d->name == "Bad LE";
  }));
  auto devices = Devices(*stack, All());
  const DeviceInfo* bad = Find(devices, kBad);
  ASSERT_NE(bad, nullptr);
  EXPECT_EQ(bad->le, platform::LeFields{});
  // The sheet still shows what was sent.
  EXPECT_EQ(Property(*stack, kBad, "Appearance"), "watch");
  EXPECT_NE(Property(*stack, kBad, "ManufacturerData"), "(absent)");

  DeviceList scan = ScanAll(*stack);
  const DeviceRecord* record = FindRecord(scan, "F4:F5:D8:00:00:07");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->m_type, "Miscellaneous");
  EXPECT_EQ(record->m_producer, "Google, Inc.");
  EXPECT_EQ(record->m_appearance, -1);
  EXPECT_EQ(record->m_companyId, -1);
  EXPECT_EQ(record->m_addressType, "");
}

TEST_F(BluezMockTest, ObjectListOfTheWrongShapeMeansNoRadios) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  ASSERT_EQ(mock.Helper({QStringLiteral("bad-managed-objects")}), 0);
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  EXPECT_FALSE(stack->ServiceAnswered());
  EXPECT_EQ(stack->FindRadios(), nullptr);
  std::vector<BluetoothAddress> inRange;
  EXPECT_EQ(stack->LookUpDevices(inRange, {}), platform::LookupStatus::Unavailable);
}

TEST_F(BluezMockTest, BusGoingAwayAndComingBackBringsTheRadiosBack) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  Recorder tree;
  auto watch = stack->WatchDeviceTree(tree);
  ASSERT_EQ(Radios(*stack).size(), 1u);

  mock.StopBus();
  ASSERT_TRUE(WaitUntil([&] { return stack->FindRadios() == nullptr; }));
  ASSERT_TRUE(WaitUntil([&] { return tree.TreeChanges() == 1; }));
  EXPECT_FALSE(stack->ServiceAnswered());

  ASSERT_TRUE(mock.Start()) << mock.Error();
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  ASSERT_TRUE(WaitUntil([&] { return Radios(*stack).size() == 1; }));
  EXPECT_EQ(Radios(*stack)[0].info.name, "desk");
  ASSERT_TRUE(WaitUntil([&] { return tree.TreeChanges() == 2; }));
  EXPECT_TRUE(WaitUntil([&] { return stack->ServiceAnswered(); }));
}

TEST_F(BluezMockTest, BluetoothServiceRestartBringsTheRadiosBack) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  Recorder tree;
  auto watch = stack->WatchDeviceTree(tree);
  ASSERT_EQ(Radios(*stack).size(), 1u);

  mock.StopBluez();
  ASSERT_TRUE(WaitUntil([&] { return stack->FindRadios() == nullptr; }));
  ASSERT_TRUE(WaitUntil([&] { return tree.TreeChanges() == 1; }));

  ASSERT_TRUE(mock.StartBluez()) << mock.Error();
  mock.AddAdapter(kHci1, QStringLiteral("usb"));
  ASSERT_TRUE(WaitUntil([&] { return Radios(*stack).size() == 1; }));
  EXPECT_EQ(Radios(*stack)[0].info.name, "usb");
  ASSERT_TRUE(WaitUntil([&] { return tree.TreeChanges() == 2; }));

  // Signals of the new service are heard too.
  Recorder events;
  auto radios = Radios(*stack);
  auto handle = stack->RegisterRadioEvents(*radios[0].handle, events);
  mock.AddDevice(kHci1, kPhoneText, QStringLiteral("Phone"));
  ASSERT_TRUE(events.WaitFor(platform::kRadioInRangeGuid, 1));
}

TEST_F(BluezMockTest, BluetoothServiceStartingAfterTheProgramIsAnAdapterInserted) {
  mock.StopBluez();
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  EXPECT_FALSE(stack->ServiceAnswered());
  EXPECT_EQ(stack->FindRadios(), nullptr);
  Recorder tree;
  auto watch = stack->WatchDeviceTree(tree);

  ASSERT_TRUE(mock.StartBluez()) << mock.Error();
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  ASSERT_TRUE(WaitUntil([&] { return Radios(*stack).size() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return tree.TreeChanges() >= 1; }));
  EXPECT_TRUE(stack->ServiceAnswered());
}

TEST_F(BluezMockTest, ServiceRecordsComeFromBlueZsCacheWhenTheDeviceCannotBeAsked) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  const std::string cache = mock.Folder() + "/storage/00:01:02:03:04:05/cache";
  ASSERT_EQ(std::system(("mkdir -p '" + cache + "'").c_str()), 0);
  const auto record = sdp::EncodeSequence(
      {sdp::EncodeUnsigned(0x0001, 2), sdp::EncodeSequence({sdp::EncodeUuid16(0x1101)}),
       sdp::EncodeUnsigned(0x0100, 2), sdp::EncodeText("Serial Port")});
  {
    std::ofstream file(cache + "/00:1A:2B:3C:4D:5E");
    file << "[General]\nName=Phone\n\n[ServiceRecords]\n0x00010001=";
    for (auto b : record) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", b);
      file << hex;
    }
    file << "\n";
  }
  for (const char* library : {"libbluetooth.so.3", "libwren-no-such-library.so.0"}) {
    BluezOptions options = Options();
    options.sdpLibrary = library;
    auto stack = MakeStack(options);
    ASSERT_TRUE(stack);
    std::vector<BluetoothAddress> inRange;
    ASSERT_EQ(stack->LookUpDevices(inRange, {}), platform::LookupStatus::Ok);
    EXPECT_EQ(inRange, std::vector<BluetoothAddress>{kPhone});
    std::vector<platform::ServiceRecord> records;
    ASSERT_TRUE(stack->LookUpServices(kPhone, records, {})) << library;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(sdp::CollectRecordStrings(records[0].blob), std::vector<std::string>{"Serial Port"});
    records.clear();
    EXPECT_FALSE(stack->LookUpServices(0x112233445566ULL, records, {}))
        << "no device, no cache: no records";
    EXPECT_TRUE(records.empty());
  }
}

TEST_F(BluezMockTest, LastSeenAndLastUsedAreKeptAcrossRuns) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  {
    auto stack = MakeStack();
    ASSERT_TRUE(stack);
    Recorder events;
    auto radios = Radios(*stack);
    auto handle = stack->RegisterRadioEvents(*radios.at(0).handle, events);
    mock.ConnectDevice(kHci0, kPhoneText);
    ASSERT_TRUE(events.WaitFor(platform::kHciEventGuid, 1));
    mock.DisconnectDevice(kHci0, kPhoneText);
    ASSERT_TRUE(events.WaitFor(platform::kHciEventGuid, 2));
  }
  DeviceTimes saved;
  std::string error;
  ASSERT_TRUE(saved.Load(Options().timesFile, error)) << error;
  EXPECT_GT(saved.LastSeen(kPhone), 0);
  EXPECT_GT(saved.LastUsed(kPhone), 0);

  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto devices = Devices(*stack, All());
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].lastUsed, ToUtcTime(saved.LastUsed(kPhone)))
      << "not used in this run: the stored time";
}

TEST_F(BluezMockTest, ASinkMayUnregisterItselfWhileCalled) {
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  const QString path = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
  auto stack = MakeStack();
  ASSERT_TRUE(stack);
  auto radios = Radios(*stack);
  ASSERT_EQ(radios.size(), 1u);
  struct SelfRemoving : platform::DeviceChangeSink {
    std::unique_ptr<platform::NotificationHandle> handle;
    std::atomic<int> calls{0};
    void OnDeviceChange(const DeviceChange&) override {
      ++calls;
      handle.reset();
    }
  } sink;
  Recorder witness;
  sink.handle = stack->RegisterRadioEvents(*radios[0].handle, sink);
  auto witnessHandle = stack->RegisterRadioEvents(*radios[0].handle, witness);
  mock.UpdateProperties(path, kDevice1, {{QStringLiteral("Name"), QStringLiteral("One")}});
  ASSERT_TRUE(witness.WaitFor(platform::kRadioInRangeGuid, 1));
  mock.UpdateProperties(path, kDevice1, {{QStringLiteral("Name"), QStringLiteral("Two")}});
  ASSERT_TRUE(witness.WaitFor(platform::kRadioInRangeGuid, 2));
  EXPECT_EQ(sink.calls.load(), 1);
}

}  // namespace
}  // namespace wren::bluez
