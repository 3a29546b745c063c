// The same devices and happenings, once from the bluez5 mock through the
// BlueZ stack and once as a scenario of the simulated stack, give the same
// scan records, service texts and event lines.

#include <QDBusObjectPath>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <mutex>
#include <vector>

#include "MockBluez.h"
#include "core/monitor/EventLog.h"
#include "core/bluetooth/BluetoothPlatform.h"
#include "base/SdpDecoder.h"
#include "adapters/bluez/BluezStack.h"
#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimulatedStack.h"

namespace wren::bluez {
namespace {

using platform::BluetoothAddress;
using test::MockBluez;
using test::WaitUntil;

constexpr BluetoothAddress kRadio = 0x000102030405ULL;
constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;
constexpr BluetoothAddress kHeadset = 0x00025B00A5A5ULL;
constexpr BluetoothAddress kMouse = 0x00025B00A5A6ULL;
constexpr std::uint32_t kPhoneClass = 0x5A020C;
constexpr std::uint32_t kHeadsetClass = 0x240404;

class Lines : public platform::DeviceChangeSink {
public:
  void OnDeviceChange(const platform::DeviceChange& change) override {
    AlarmEvent event;
    auto line = CustomEventLine(change, "12:00:00 07/21/2009", event);
    std::lock_guard lock(m_mutex);
    m_lines.push_back(line ? *line + Kinds(event) : std::string("(no line)"));
  }
  std::vector<std::string> Get() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
  }

private:
  static std::string Kinds(const AlarmEvent& e) {
    return std::string(" [") + (e.detected ? "D" : "") + (e.outOfRange ? "O" : "") +
           (e.connected ? "C" : "") + (e.disconnected ? "X" : "") + "]";
  }
  mutable std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

std::vector<std::uint8_t> SerialPortRecord() {
  return sdp::EncodeSequence({sdp::EncodeUnsigned(0x0001, 2),
                              sdp::EncodeSequence({sdp::EncodeUuid16(0x1101)}),
                              sdp::EncodeUnsigned(0x0100, 2), sdp::EncodeText("Serial Port"),
                              sdp::EncodeUnsigned(0x0102, 2), sdp::EncodeText("Pelmark")});
}

void ExpectSameRecords(const DeviceList& bluez, const DeviceList& sim) {
  ASSERT_EQ(bluez.size(), sim.size());
  auto a = bluez.begin();
  auto b = sim.begin();
  for (; a != bluez.end(); ++a, ++b) {
    SCOPED_TRACE(a->m_address);
    EXPECT_EQ(a->m_radioName, b->m_radioName);
    EXPECT_EQ(a->m_name, b->m_name);
    EXPECT_EQ(a->m_address, b->m_address);
    EXPECT_EQ(a->m_producer, b->m_producer);
    EXPECT_EQ(a->m_lastSeen, b->m_lastSeen);
    EXPECT_EQ(a->m_lastUsed, b->m_lastUsed);
    EXPECT_EQ(a->m_type, b->m_type);
    EXPECT_EQ(a->m_services, b->m_services);
    EXPECT_EQ(a->m_classOfDevice, b->m_classOfDevice);
    EXPECT_EQ(a->m_connected, b->m_connected);
    EXPECT_EQ(a->m_remembered, b->m_remembered);
    EXPECT_EQ(a->m_authenticated, b->m_authenticated);
    EXPECT_EQ(a->m_image, b->m_image);
    EXPECT_EQ(a->m_isLocalRadio, b->m_isLocalRadio);
  }
}

TEST(BluezSimComparison, SameDevicesGiveTheSameRecordsServicesAndEventLines) {
  MockBluez mock;
  ASSERT_TRUE(mock.Start()) << mock.Error();
  const QString kHci0 = QStringLiteral("hci0");
  const QString device1 = QStringLiteral("org.bluez.Device1");
  mock.AddAdapter(kHci0, QStringLiteral("desk"));
  const QString phone =
      mock.AddDevice(kHci0, QStringLiteral("00:1A:2B:3C:4D:5E"), QStringLiteral("Phone"));
  const QString headset =
      mock.AddDevice(kHci0, QStringLiteral("00:02:5B:00:A5:A5"), QStringLiteral("Headset"));
  mock.UpdateProperties(phone, device1,
                        {{QStringLiteral("Class"), QVariant::fromValue(kPhoneClass)},
                         {QStringLiteral("Paired"), true}});
  mock.UpdateProperties(headset, device1,
                        {{QStringLiteral("Class"), QVariant::fromValue(kHeadsetClass)}});
  // What BlueZ keeps of the phone's records after an earlier exchange.
  const std::string cache = mock.Folder() + "/storage/00:01:02:03:04:05/cache";
  ASSERT_EQ(std::system(("mkdir -p '" + cache + "'").c_str()), 0);
  {
    std::ofstream file(cache + "/00:1A:2B:3C:4D:5E");
    file << "[ServiceRecords]\n0x00010001=";
    for (auto byte : SerialPortRecord()) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", byte);
      file << hex;
    }
    file << "\n";
  }

  BluezOptions options;
  options.timesFile = mock.Folder() + "/device-times.txt";
  options.recordCacheRoot = mock.Folder() + "/storage";
  options.lookupMultiplier = 1;
  options.pairingAgent = true;
  options.startupWaitMs = 5000;
  std::string error;
  auto bluez = BluezStack::Create(options, error);
  ASSERT_TRUE(bluez) << error;

  // The simulated world with the same radio and devices, seen at the times
  // the BlueZ stack gave them.
  platform::DeviceSearch all;
  all.returnAuthenticated = all.returnRemembered = all.returnUnknown = all.returnConnected = 1;
  std::vector<platform::DeviceInfo> seen;
  {
    auto find = bluez->FindDevices(all, {});
    ASSERT_TRUE(find);
    platform::DeviceInfo info;
    while (find->Next(info)) seen.push_back(info);
  }
  ASSERT_EQ(seen.size(), 2u);
  sim::Scenario scenario;
  scenario.radios.push_back({"desk", kRadio, "desk", 268, true, true});
  sim::SimDevice p;
  p.address = kPhone;
  p.name = "Phone";
  p.classOfDevice = kPhoneClass;
  p.remembered = p.authenticated = true;
  p.lastSeen = seen[1].lastSeen;
  p.records.push_back({true, SerialPortRecord()});
  sim::SimDevice h;
  h.address = kHeadset;
  h.name = "Headset";
  h.classOfDevice = kHeadsetClass;
  h.lastSeen = seen[0].lastSeen;
  sim::SimDevice m;
  m.address = kMouse;
  m.name = "Mouse";
  m.inRange = false;
  scenario.devices = {h, p, m};  // the order BlueZ's object paths give
  auto at = [](std::int64_t ms, sim::EventKind kind, std::size_t device) {
    sim::SimEvent e;
    e.atMs = ms;
    e.kind = kind;
    e.device = device;
    return e;
  };
  sim::SimEvent mouseFound = at(11000, sim::EventKind::InRange, 2);
  mouseFound.flags = platform::kFlagAddress | platform::kFlagName;
  mouseFound.previousFlags = 0;
  sim::SimEvent renamed = at(14000, sim::EventKind::InRange, 0);
  renamed.name = "Speaker";
  renamed.flags = platform::kFlagAddress | platform::kFlagClass | platform::kFlagName;
  scenario.timeline = {mouseFound,
                       at(12000, sim::EventKind::HciConnect, 1),
                       at(13000, sim::EventKind::HciDisconnect, 1),
                       renamed,
                       at(15000, sim::EventKind::OutOfRange, 0),
                       at(16000, sim::EventKind::PinRequest, 1)};
  sim::SimulatedStack simulation(scenario, sim::TimeMode::Stepped, "comparison");

  // Records.
  BluetoothPlatform bluezPlatform(*bluez);
  BluetoothPlatform simPlatform(simulation);
  ASSERT_TRUE(bluezPlatform.LoadVendorDatabase());
  ASSERT_TRUE(simPlatform.LoadVendorDatabase());
  SearchParams params;
  params.m_returnUnknown = params.m_returnConnected = 1;
  DeviceList fromBluez, fromSim;
  bluezPlatform.ScanDevices(fromBluez, params);
  simPlatform.ScanDevices(fromSim, params);
  ASSERT_EQ(fromBluez.size(), 3u);
  ExpectSameRecords(fromBluez, fromSim);

  // Service texts.
  std::string bluezServices, simServices;
  EXPECT_EQ(bluezPlatform.QueryServices("00:1A:2B:3C:4D:5E", bluezServices), 0);
  // The simulated inquiry takes simulated time, which moves when stepped.
  auto simQuery = std::async(std::launch::async, [&] {
    return simPlatform.QueryServices("00:1A:2B:3C:4D:5E", simServices);
  });
  ASSERT_TRUE(simulation.WaitForInquiries(1));
  simulation.AdvanceTime(1280 * scenario.lookupMultiplier);
  EXPECT_EQ(simQuery.get(), 0);
  ASSERT_LT(simulation.NowMs(), 11000) << "the timeline starts after the lookups";
  EXPECT_EQ(bluezServices, "Serial Port,Pelmark,");
  EXPECT_EQ(bluezServices, simServices);

  // Event lines.
  Lines bluezLines, simLines;
  NotifyHandleList bluezHandles, simHandles;
  ASSERT_TRUE(bluezPlatform.RegisterRadioNotifications(bluezLines, bluezHandles));
  ASSERT_TRUE(simPlatform.RegisterRadioNotifications(simLines, simHandles));

  mock.AddDevice(kHci0, QStringLiteral("00:02:5B:00:A5:A6"), QStringLiteral("Mouse"));
  mock.ConnectDevice(kHci0, QStringLiteral("00:1A:2B:3C:4D:5E"));
  mock.DisconnectDevice(kHci0, QStringLiteral("00:1A:2B:3C:4D:5E"));
  mock.UpdateProperties(headset, device1, {{QStringLiteral("Name"), QStringLiteral("Speaker")}});
  mock.Must(QStringLiteral("/org/bluez/hci0"), QStringLiteral("org.bluez.Adapter1"),
            QStringLiteral("RemoveDevice"), {QVariant::fromValue(QDBusObjectPath(headset))});
  ASSERT_TRUE(WaitUntil([&] { return bluezLines.Get().size() == 5; }));
  QString answer;
  ASSERT_EQ(
      mock.Helper({QStringLiteral("call-agent"), QString::fromStdString(bluez->BusUniqueName()),
                   QStringLiteral("RequestPinCode"), phone},
                  &answer),
      0);
  ASSERT_TRUE(WaitUntil([&] { return bluezLines.Get().size() == 6; }));

  simulation.AdvanceTime(17000 - simulation.NowMs());
  const std::vector<std::string> expected = {
      "12:00:00 07/21/2009 - 00:02:5B:00:A5:A6 Mouse - Bluetooth device has changed: address "
      "changed,name changed, "
      "remote radio has just been retrieved,. [D]",
      "12:00:00 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection to the remote radio has just been "
      "estrablished. [C]",
      "12:00:00 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection to the remote radio has just been "
      "destroyed. [X]",
      "12:00:00 07/21/2009 - 00:02:5B:00:A5:A5 Speaker - Bluetooth device has changed: . []",
      "12:00:00 07/21/2009 - A Previously discovered device 00:02:5B:00:A5:A5 has not been found. "
      "[O]",
      "12:00:00 07/21/2009 - A Bluetooth device is requesting to connect to your computer. [C]",
  };
  EXPECT_EQ(bluezLines.Get(), expected);
  EXPECT_EQ(simLines.Get(), expected);

  bluezPlatform.UnregisterRadioNotifications(bluezHandles);
  simPlatform.UnregisterRadioNotifications(simHandles);
}

}  // namespace
}  // namespace wren::bluez
