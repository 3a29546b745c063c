// The device manager on BlueZ against python-dbusmock's bluez5 template:
// what the property sheet and the add-device dialog ask of BlueZ, and
// what they hear back.

#include <QDBusObjectPath>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "MockBluez.h"
#include "adapters/bluez/BluezStack.h"

namespace wren::bluez {
namespace {

using platform::BluetoothAddress;
using platform::DeviceProperties;
using platform::DeviceResult;
using test::MockBluez;
using test::WaitUntil;

const QString kHci0 = QStringLiteral("hci0");
const QString kAdapter0 = QStringLiteral("/org/bluez/hci0");
const QString kPhoneText = QStringLiteral("00:1A:2B:3C:4D:5E");
constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;
const QString kDevice1 = QStringLiteral("org.bluez.Device1");

struct Listener : platform::DeviceListener {
  void OnDeviceChanged(const DeviceProperties& d, bool sighted) override {
    std::lock_guard lock(mutex);
    changed.emplace_back(d, sighted);
  }
  void OnDeviceRemoved(BluetoothAddress a) override {
    std::lock_guard lock(mutex);
    removed.push_back(a);
  }
  std::optional<DeviceProperties> Last(BluetoothAddress a) {
    std::lock_guard lock(mutex);
    for (auto it = changed.rbegin(); it != changed.rend(); ++it)
      if (it->first.address == a) return it->first;
    return std::nullopt;
  }
  bool Removed(BluetoothAddress a) {
    std::lock_guard lock(mutex);
    return std::find(removed.begin(), removed.end(), a) != removed.end();
  }
  std::mutex mutex;
  std::vector<std::pair<DeviceProperties, bool>> changed;
  std::vector<BluetoothAddress> removed;
};

// Answers as told, from the stack's thread.
struct Agent : platform::PairingAgent {
  void ConfirmPasskey(BluetoothAddress d, std::uint32_t shown,
                      std::function<void(bool)> reply) override {
    Note("confirm " + std::to_string(shown), d);
    reply(accept);
  }
  void DisplayPasskey(BluetoothAddress d, std::uint32_t shown, std::uint16_t entered) override {
    Note("show passkey " + std::to_string(shown) + " " + std::to_string(entered), d);
  }
  void DisplayPinCode(BluetoothAddress d, const std::string& shown) override {
    Note("show pin " + shown, d);
  }
  void RequestPinCode(BluetoothAddress d,
                      std::function<void(std::optional<std::string>)> reply) override {
    Note("pin?", d);
    reply(pin);
  }
  void RequestPasskey(BluetoothAddress d,
                      std::function<void(std::optional<std::uint32_t>)> reply) override {
    Note("passkey?", d);
    reply(passkey);
  }
  void Cancel() override { Note("cancel", 0); }

  void Note(std::string what, BluetoothAddress d) {
    std::lock_guard lock(mutex);
    asked.push_back(std::move(what));
    devices.push_back(d);
  }
  std::vector<std::string> Asked() {
    std::lock_guard lock(mutex);
    return asked;
  }

  std::mutex mutex;
  bool accept = true;
  std::optional<std::string> pin;
  std::optional<std::uint32_t> passkey;
  std::vector<std::string> asked;
  std::vector<BluetoothAddress> devices;
};

class BluezDeviceManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(mock.Start()) << mock.Error();
    mock.AddAdapter(kHci0, QStringLiteral("desk"));
    phonePath = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
    std::string error;
    stack = BluezStack::Create(mock.StackOptions(), error);
    ASSERT_TRUE(stack) << error;
    ASSERT_TRUE(stack->ServiceAnswered());
  }

  platform::DeviceManager& Manager() { return *stack; }

  // Runs an operation and waits for its answer.
  template <typename Op>
  DeviceResult Outcome(Op op) {
    auto promise = std::make_shared<std::promise<DeviceResult>>();
    auto future = promise->get_future();
    op([promise](const DeviceResult& r) { promise->set_value(r); });
    if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      ADD_FAILURE() << "no answer";
      return DeviceResult{false, platform::DeviceError::NoReply, "no answer", ""};
    }
    return future.get();
  }

  // The devices a scan of remembered devices finds.
  std::size_t Remembered() {
    platform::DeviceSearch s;
    s.returnRemembered = 1;
    auto find = stack->FindDevices(s, {});
    std::size_t n = 0;
    platform::DeviceInfo info;
    while (find && find->Next(info)) ++n;
    return n;
  }

  MockBluez mock;
  QString phonePath;
  std::unique_ptr<BluezStack> stack;
};

TEST_F(BluezDeviceManagerTest, PropertiesOfTheMockDevice) {
  mock.UpdateProperties(phonePath, kDevice1,
                        {{QStringLiteral("UUIDs"),
                          QStringList{QStringLiteral("0000110a-0000-1000-8000-00805f9b34fb"),
                                      QStringLiteral("00001101-0000-1000-8000-00805f9b34fb")}},
                         {QStringLiteral("TxPower"), QVariant::fromValue(static_cast<short>(-6))},
                         {QStringLiteral("Class"), QVariant::fromValue(0x5A020Cu)}});
  DeviceProperties p;
  ASSERT_TRUE(WaitUntil([&] { return Manager().Properties(kPhone, p) && p.uuids.size() == 2; }));
  EXPECT_EQ(p.address, kPhone);
  EXPECT_EQ(p.name, "Phone");
  EXPECT_EQ(p.alias, "Phone");
  EXPECT_EQ(p.classOfDevice, 0x5A020Cu);
  EXPECT_FALSE(p.paired);
  EXPECT_FALSE(p.trusted);
  EXPECT_FALSE(p.blocked);
  EXPECT_FALSE(p.connected);
  EXPECT_EQ(p.rssi, std::optional<std::int16_t>(-79)) << "the template's signal strength";
  EXPECT_EQ(p.txPower, std::optional<std::int16_t>(-6));
  EXPECT_FALSE(p.lastSeen.IsZero());
  EXPECT_EQ(p.uuids[1], "00001101-0000-1000-8000-00805f9b34fb");
  auto all = Manager().Devices();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].address, kPhone);
  EXPECT_FALSE(Manager().Properties(0x112233445566ULL, p));
}

TEST_F(BluezDeviceManagerTest, PropertiesOfTheWrongTypeAreNotRead) {
  ASSERT_EQ(mock.Helper({QStringLiteral("bad-device"), kHci0, QStringLiteral("00:25:56:AA:BB:CC")}),
            0);
  constexpr BluetoothAddress kBad = 0x002556AABBCCULL;
  DeviceProperties p;
  ASSERT_TRUE(WaitUntil([&] { return Manager().Properties(kBad, p); }));
  EXPECT_FALSE(p.paired) << "Paired was a string";
  EXPECT_FALSE(p.connected) << "Connected was a double";
  EXPECT_FALSE(p.rssi.has_value()) << "RSSI was a string";
  EXPECT_EQ(p.classOfDevice, 0u);
  EXPECT_LE(p.name.size(), 248u) << "a 1 MB name is cut to a Bluetooth name's length";
}

TEST_F(BluezDeviceManagerTest, TrustUntrustAndRemoveActOnBlueZAndShowInTheNextScan) {
  Listener listener;
  auto watch = Manager().WatchDevices(listener);
  EXPECT_EQ(Remembered(), 0u);

  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetTrusted(kPhone, true, done); }).ok);
  ASSERT_TRUE(WaitUntil([&] { return Remembered() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return listener.Last(kPhone) && listener.Last(kPhone)->trusted; }));

  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetTrusted(kPhone, false, done); }).ok);
  ASSERT_TRUE(WaitUntil([&] { return Remembered() == 0; }));

  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetBlocked(kPhone, true, done); }).ok);
  ASSERT_TRUE(WaitUntil([&] { return listener.Last(kPhone) && listener.Last(kPhone)->blocked; }));
  EXPECT_TRUE(Outcome([&](auto done) { Manager().SetAlias(kPhone, "Kitchen radio", done); }).ok);
  ASSERT_TRUE(WaitUntil(
      [&] { return listener.Last(kPhone) && listener.Last(kPhone)->alias == "Kitchen radio"; }));
  EXPECT_EQ(listener.Last(kPhone)->name, "Phone");

  EXPECT_TRUE(Outcome([&](auto done) { Manager().Remove(kPhone, done); }).ok);
  ASSERT_TRUE(WaitUntil([&] { return listener.Removed(kPhone); }));
  DeviceProperties p;
  EXPECT_FALSE(Manager().Properties(kPhone, p));
  EXPECT_TRUE(mock.CallsOn(kAdapter0).contains(QStringLiteral("RemoveDevice")));

  // Gone: every operation says so in words.
  for (DeviceResult r : {Outcome([&](auto done) { Manager().SetTrusted(kPhone, true, done); }),
                         Outcome([&](auto done) { Manager().Remove(kPhone, done); }),
                         Outcome([&](auto done) { Manager().Connect(kPhone, done); })}) {
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, platform::DeviceError::DoesNotExist);
    EXPECT_EQ(platform::DeviceErrorText(r),
              "The device is no longer known to the Bluetooth service.");
  }
}

TEST_F(BluezDeviceManagerTest, ConnectAndDisconnectWithBlueZsErrorsInWords) {
  Listener listener;
  auto watch = Manager().WatchDevices(listener);
  EXPECT_TRUE(Outcome([&](auto done) { Manager().Connect(kPhone, done); }).ok);
  ASSERT_TRUE(WaitUntil([&] { return listener.Last(kPhone) && listener.Last(kPhone)->connected; }));
  DeviceResult again = Outcome([&](auto done) { Manager().Connect(kPhone, done); });
  EXPECT_EQ(again.error, platform::DeviceError::AlreadyConnected);
  EXPECT_EQ(platform::DeviceErrorText(again), "The device is already connected.");
  EXPECT_TRUE(Outcome([&](auto done) { Manager().Disconnect(kPhone, done); }).ok);
  ASSERT_TRUE(
      WaitUntil([&] { return listener.Last(kPhone) && !listener.Last(kPhone)->connected; }));
  DeviceResult idle = Outcome([&](auto done) { Manager().Disconnect(kPhone, done); });
  EXPECT_EQ(idle.error, platform::DeviceError::NotConnected);
  EXPECT_EQ(platform::DeviceErrorText(idle), "The device is not connected.");
  // The template's CancelPairing answers without an error.
  EXPECT_TRUE(Outcome([&](auto done) { Manager().CancelPairing(kPhone, done); }).ok);
}

TEST_F(BluezDeviceManagerTest, DiscoveryListsNewDevicesAndPairsThem) {
  Listener listener;
  auto watch = Manager().WatchDevices(listener);
  constexpr BluetoothAddress kNew = 0x002556AABBCCULL;
  constexpr BluetoothAddress kGone = 0x002556AABBCDULL;
  {
    auto session = Manager().StartDiscovery();
    ASSERT_TRUE(session);
    ASSERT_TRUE(WaitUntil(
        [&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StartDiscovery")); }));
    mock.AddDevice(kHci0, QStringLiteral("00:25:56:AA:BB:CC"), QStringLiteral("Speaker"));
    const QString gone =
        mock.AddDevice(kHci0, QStringLiteral("00:25:56:AA:BB:CD"), QStringLiteral("Passer-by"));
    ASSERT_TRUE(WaitUntil([&] { return listener.Last(kNew) && listener.Last(kGone); }));
    EXPECT_EQ(listener.Last(kNew)->name, "Speaker");
    // One leaves while the dialog lists it.
    mock.Must(kAdapter0, QStringLiteral("org.bluez.Adapter1"), QStringLiteral("RemoveDevice"),
              {QVariant::fromValue(QDBusObjectPath(gone))});
    ASSERT_TRUE(WaitUntil([&] { return listener.Removed(kGone); }));

    DeviceResult paired = Outcome([&](auto done) { Manager().Pair(kNew, done); });
    EXPECT_TRUE(paired.ok) << platform::DeviceErrorText(paired);
    ASSERT_TRUE(WaitUntil([&] { return listener.Last(kNew) && listener.Last(kNew)->paired; }));
    EXPECT_TRUE(Outcome([&](auto done) { Manager().SetTrusted(kNew, true, done); }).ok);
  }
  ASSERT_TRUE(
      WaitUntil([&] { return mock.CallsOn(kAdapter0).contains(QStringLiteral("StopDiscovery")); }));
  DeviceProperties p;
  ASSERT_TRUE(WaitUntil([&] { return Manager().Properties(kNew, p) && p.trusted; }));
  EXPECT_TRUE(p.paired);
}

TEST_F(BluezDeviceManagerTest, TheUsersAgentAnswersBlueZWhileRegistered) {
  EXPECT_FALSE(
      mock.CallsOn(QStringLiteral("/org/bluez")).contains(QStringLiteral("RegisterAgent")));
  Agent agent;
  agent.pin = "7391";
  agent.passkey = 123456;
  auto registration = Manager().RegisterPairingAgent(agent);
  ASSERT_TRUE(WaitUntil([&] {
    return mock.CallsOn(QStringLiteral("/org/bluez"))
        .contains(QStringLiteral("RequestDefaultAgent"));
  }));
  const QString us = QString::fromStdString(stack->BusUniqueName());
  auto ask = [&](const char* method) {
    QString answer;
    EXPECT_EQ(
        mock.Helper({QStringLiteral("call-agent"), us, QString::fromLatin1(method), phonePath},
                    &answer),
        0);
    return answer.trimmed();
  };
  EXPECT_EQ(ask("RequestConfirmation"), QStringLiteral("ok"));
  EXPECT_EQ(ask("RequestPinCode"), QStringLiteral("ok 7391"));
  EXPECT_EQ(ask("RequestPasskey"), QStringLiteral("ok 123456"));
  EXPECT_EQ(ask("DisplayPinCode"), QStringLiteral("ok"));
  EXPECT_EQ(ask("DisplayPasskey"), QStringLiteral("ok"));
  EXPECT_EQ(ask("Cancel"), QStringLiteral("ok"));
  agent.accept = false;
  agent.pin.reset();
  EXPECT_EQ(ask("RequestConfirmation"), QStringLiteral("org.bluez.Error.Rejected"));
  EXPECT_EQ(ask("RequestPinCode"), QStringLiteral("org.bluez.Error.Rejected"));
  EXPECT_EQ(agent.Asked(), (std::vector<std::string>{"confirm 123456", "pin?", "passkey?",
                                                     "show pin 0000", "show passkey 123456 0",
                                                     "cancel", "confirm 123456", "pin?"}));
  {
    std::lock_guard lock(agent.mutex);
    EXPECT_EQ(agent.devices.front(), kPhone);
  }

  // Without the user's agent, ours leaves BlueZ to the desktop's again.
  registration.reset();
  ASSERT_TRUE(WaitUntil([&] {
    return mock.CallsOn(QStringLiteral("/org/bluez")).contains(QStringLiteral("UnregisterAgent"));
  }));
}

// With the program's own agent on (the setting), every pairing request is
// an event line: before the add-device dialog registers its agent, while
// it answers, and again once it is gone, when ours declines once more.
TEST_F(BluezDeviceManagerTest, PinRequestsAreReportedBeforeDuringAndAfterTheUsersAgent) {
  stack.reset();
  BluezOptions o = mock.StackOptions();
  o.pairingAgent = true;
  std::string error;
  stack = BluezStack::Create(o, error);
  ASSERT_TRUE(stack) << error;
  struct PinRequests : platform::DeviceChangeSink {
    void OnDeviceChange(const platform::DeviceChange& c) override {
      if (c.eventType == platform::kCustomEvent && c.eventGuid == platform::kPinRequestGuid)
        ++count;
    }
    std::atomic<int> count{0};
  } pins;
  auto radios = stack->FindRadios();
  ASSERT_TRUE(radios);
  auto radio = radios->Next();
  ASSERT_TRUE(radio);
  auto events = stack->RegisterRadioEvents(*radio, pins);
  ASSERT_TRUE(events);
  ASSERT_TRUE(WaitUntil([&] {
    return mock.CallsOn(QStringLiteral("/org/bluez"))
        .contains(QStringLiteral("RequestDefaultAgent"));
  }));
  const QString us = QString::fromStdString(stack->BusUniqueName());
  auto askPin = [&] {
    QString answer;
    EXPECT_EQ(
        mock.Helper({QStringLiteral("call-agent"), us, QStringLiteral("RequestPinCode"), phonePath},
                    &answer),
        0);
    return answer.trimmed();
  };

  EXPECT_EQ(askPin(), QStringLiteral("org.bluez.Error.Rejected"));
  ASSERT_TRUE(WaitUntil([&] { return pins.count == 1; }));
  {
    Agent agent;
    agent.pin = "0000";
    auto registration = Manager().RegisterPairingAgent(agent);
    EXPECT_EQ(askPin(), QStringLiteral("ok 0000"));
    ASSERT_TRUE(WaitUntil([&] { return pins.count == 2; }));
  }
  EXPECT_EQ(askPin(), QStringLiteral("org.bluez.Error.Rejected"));
  ASSERT_TRUE(WaitUntil([&] { return pins.count == 3; }));
  EXPECT_FALSE(
      mock.CallsOn(QStringLiteral("/org/bluez")).contains(QStringLiteral("UnregisterAgent")))
      << "ours stays registered for the event line";
}

}  // namespace
}  // namespace wren::bluez
